// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "knowledge/KnowledgeBase.h"
#include "platform/TextFile.h"
#include "support/TestSupport.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using testsupport::ReadBytes;
using testsupport::WriteBytes;

namespace {

struct Result
{
    int code;
    QStringList out;
};

Result run(const QStringList& args)
{
    QProcess p;
    p.start(qEnvironmentVariable("VESTRANA_CLI"), args);
    p.waitForFinished(60000);
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts)};
}

QByteArray lines(const QStringList& l)
{
    QByteArray b;
    for (const QString& s : l)
        b += textfile::ToCp1251(s) + "\r\n";
    return b;
}

// Listings 2 and 5 repeat listing 1 (letter case, a combined floor, another
// price); listing 4 has no address and is kept like every other.
const QStringList kDatabase{
    "Центр|2|5|кирпичный|ул. Мира, 1|1500|54|32|8|Рынок|300|раздельный|есть|Дом|01.12.2026|Ремонт|9||",
    "Центр|2|5|кирпичный|УЛ. МИРА, 1|1500|54|32|8|Рынок|300|раздельный|есть|Дом|01.12.2026|Ремонт|9||",
    "Заречье|1|1|панельный|ул. Лесная, 2|1200|31|18|6|Вокзал|200|совмещённый|нет|Дом|02.12.2026||5||",
    "Заречье|1|1|панельный||1200|31|18|6|Вокзал|200|совмещённый|нет|Дом|02.12.2026||5||",
    "Центр|2|5/9|кирпичный| ул. Мира, 1 |1700|54|32|8|Рынок|300|раздельный|есть|Дом|05.12.2026|Ремонт|||",
};

} // namespace

class TestDedupe : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        if (qEnvironmentVariable("VESTRANA_CLI").isEmpty()) QSKIP("VESTRANA_CLI is not set");
    }

    // A dry run says what it would remove and writes nothing; the real run
    // keeps the first listing of each flat as it is and leaves knows.txt alone.
    void removesLaterCopies()
    {
        QTemporaryDir dir;
        const QString db = WriteBytes(dir.filePath("database.txt"), lines(kDatabase));
        const QByteArray knows = KnowledgeBase().SaveKnowledgeBytes();
        const QString kb = WriteBytes(dir.filePath("knows.txt"), knows);
        const QByteArray before = ReadBytes(db);
        const QStringList removals{
            "запись 2 (повтор записи 1): УЛ. МИРА, 1, этаж 5, площадь 54",
            "запись 5 (повтор записи 1):  ул. Мира, 1 , этаж 5, площадь 54",
        };

        Result r = run({"--data-dir", dir.path(), "dedupe", "--dry-run"});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, (QStringList{"Будет удалена " + removals[0], "Будет удалена " + removals[1],
                                     "Повторов: 2 из 5 записей. Проверка без изменений: файл database.txt не "
                                     "изменён."}));
        QCOMPARE(ReadBytes(db), before);

        r = run({"--data-dir", dir.path(), "dedupe"});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, (QStringList{"Удалена " + removals[0], "Удалена " + removals[1],
                                     "Удалено повторов: 2. Файл database.txt сохранён, записей: 3."}));
        QCOMPARE(ReadBytes(db), lines({kDatabase[0], kDatabase[2], kDatabase[3]}));
        QCOMPARE(ReadBytes(kb), knows);
        QVERIFY(!QFile::exists(db + ".tmp"));

        r = run({"--data-dir", dir.path(), "dedupe"});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, QStringList{"Повторов нет, записей: 3. Файл database.txt не изменён."});
        QVERIFY(run({"--data-dir", dir.path(), "dedupe", "--force"}).code != 0);
    }
};

QTEST_GUILESS_MAIN(TestDedupe)
#include "tst_dedupe.moc"
