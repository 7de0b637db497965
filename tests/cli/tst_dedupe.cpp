// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "knowledge/KnowledgeBase.h"
#include "platform/CodePage.h"
#include "support/TestSupport.h"

#include "InProcess.h"

#include <QTemporaryDir>
#include <QTest>

using testsupport::ReadBytes;
using testsupport::WriteBytes;

namespace {

using Result = testsupport::RunResult;

QByteArray lines(const QStringList& l)
{
    QByteArray b;
    for (const QString& s : l)
        b += textfile::ToCp1251(s) + "\r\n";
    return b;
}

// Listings 1, 2 and 5 are one flat (letter case, a combined floor, another
// price); 5 has the latest date and stays. Listing 4 has no address and is
// kept like every other.
const QStringList kDatabase{
    "Центр|2|5|кирпичный|ул. Мира, 1|1500|54|32|8|Рынок|300|раздельный|есть|Дом|01.12.2026|Ремонт|9||",
    "Центр|2|5|кирпичный|УЛ. МИРА, 1|1500|54|32|8|Рынок|300|раздельный|есть|Дом|01.12.2026|Ремонт|9||",
    "Заречье|1|1|панельный|ул. Лесная, 2|1200|31|18|6|Вокзал|200|совмещённый|нет|Дом|02.12.2026||5||",
    "Заречье|1|1|панельный||1200|31|18|6|Вокзал|200|совмещённый|нет|Дом|02.12.2026||5||",
    "Центр|2|5/9|кирпичный| ул. Мира, 1 |1700|54|32|8|Рынок|300|раздельный|есть|Дом|05.12.2026|Ремонт|||",
};

// Two flats of different rooms at one address, floor and area, two listings
// without floor and area, and a newer, cheaper copy of the first listing.
const QStringList kSixLines{
    "Центр|2|3|кирпичный|ул. Ленина, д. 5|3000|50|30|9|Рынок|300|раздельный|есть|А|01.09.2026|старое "
    "объявление|9||",
    "Центр|1|4|кирпичный|ул. Садовая, д. "
    "7|2500|40|20|8|Рынок|300|раздельный|есть|А|01.09.2026|однокомнатная|9||",
    "Центр|3|4|кирпичный|ул. Садовая, д. 7|6000|40|28|6|Рынок|300|раздельный|есть|Б|02.09.2026|трёхкомнатная "
    "другая квартира|9||",
    "Окраина|1||панельный|пр. Мира, д. 1|1000|||||||||01.09.2026|без этажа и площади 1|||",
    "Окраина|4||панельный|пр. Мира, д. 1|9000|||||||||01.09.2026|без этажа и площади 2|||",
    "Центр|2|3/9|кирпичный|УЛ. ЛЕНИНА, Д. 5 |2800|50|30|9|Рынок|300|раздельный|нет|Б|01.10.2026|новое "
    "объявление: цена снижена|9||",
};

} // namespace

class TestDedupe : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // A dry run says what it would remove and how each copy differs, and
    // writes nothing; the real run backs the file up, keeps the newest listing
    // of each flat and leaves knows.txt alone.
    void removesCopiesKeepingTheNewest()
    {
        QTemporaryDir dir;
        const QString db = WriteBytes(dir.filePath("database.txt"), lines(kDatabase));
        const QByteArray knows = KnowledgeBase().SaveKnowledgeBytes();
        const QString kb = WriteBytes(dir.filePath("knows.txt"), knows);
        const QByteArray before = ReadBytes(db);
        const QStringList removals{
            "запись 1 (повтор записи 5): ул. Мира, 1, этаж 5, площадь 54; отличается: Адрес, Цена, Дата",
            "запись 2 (повтор записи 5): УЛ. МИРА, 1, этаж 5, площадь 54; отличается: Адрес, Цена, Дата",
        };

        Result r = RunInProcess({"--data-dir", dir.path(), "dedupe", "--dry-run"});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.OutLines(),
                 (QStringList{"Будет удалена " + removals[0], "Будет удалена " + removals[1],
                              "Повторов: 2 из 5 записей. Проверка без изменений: файл database.txt не "
                              "изменён."}));
        QCOMPARE(ReadBytes(db), before);
        QVERIFY(!QFile::exists(db + ".bak"));

        r = RunInProcess({"--data-dir", dir.path(), "dedupe"});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.OutLines(), (QStringList{"Удалена " + removals[0], "Удалена " + removals[1],
                                            "Прежний файл сохранён как database.txt.bak.",
                                            "Удалено повторов: 2. Файл database.txt сохранён, записей: 3."}));
        QCOMPARE(
            ReadBytes(db),
            lines({kDatabase[2], kDatabase[3],
                   "Центр|2|5|кирпичный| ул. Мира, 1 |1700|54|32|8|Рынок|300|раздельный|есть|Дом|05.12.2026|"
                   "Ремонт|9||"}));
        QCOMPARE(ReadBytes(db + ".bak"), before);
        QCOMPARE(ReadBytes(kb), knows);
        QVERIFY(!QFile::exists(db + ".tmp"));

        r = RunInProcess({"--data-dir", dir.path(), "dedupe"});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.OutLines(), QStringList{"Повторов нет, записей: 3. Файл database.txt не изменён."});
        QCOMPARE(ReadBytes(db + ".bak"), before);
        QVERIFY(RunInProcess({"--data-dir", dir.path(), "dedupe", "--force"}).code != 0);
    }

    // Of the six lines only the last is a copy, of the first, and it stays;
    // the backup holds one generation, the file as it was just before.
    void sixLines()
    {
        QTemporaryDir dir;
        const QString db = WriteBytes(dir.filePath("database.txt"), lines(kSixLines));
        WriteBytes(dir.filePath("database.txt.bak"), "an older backup\r\n");

        const Result r = RunInProcess({"--data-dir", dir.path(), "dedupe"});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.OutLines().first(),
                 QStringLiteral("Удалена запись 1 (повтор записи 6): ул. Ленина, д. 5, этаж 3, "
                                "площадь 50; отличается: Адрес, Цена, Телефон, Агенство, Дата, "
                                "Описание"));
        QCOMPARE(r.OutLines().last(),
                 QStringLiteral("Удалено повторов: 1. Файл database.txt сохранён, записей: 5."));
        QStringList expected = kSixLines.mid(1);
        expected.last().replace(QStringLiteral("|3/9|"), QStringLiteral("|3|"));
        QCOMPARE(ReadBytes(db), lines(expected));
        QCOMPARE(ReadBytes(db + ".bak"), lines(kSixLines));
    }
};

QTEST_GUILESS_MAIN(TestDedupe)
#include "tst_dedupe.moc"
