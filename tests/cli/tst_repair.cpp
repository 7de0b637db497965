// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "platform/CodePage.h"
#include "support/TestSupport.h"

#include "InProcess.h"

#include <QTemporaryDir>
#include <QTest>

using testsupport::ReadBytes;
using testsupport::WriteBytes;

namespace {

using Result = testsupport::RunResult;

QByteArray line(const QString& text)
{
    return textfile::ToCp1251(text) + "\r\n";
}

const QString kGood =
    QStringLiteral("Центр|2|5|кирпичный|ул. Мира, %1|1500|54|32|8|Рынок|300|раздельный|есть|Дом|"
                   "01.12.2026|Ремонт|9||");

} // namespace

class TestRepair : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // A file with a short line, a blank line inside and a line longer than
    // any the loader reads: the load fails naming the way out; repair moves
    // the two bad lines with their numbers after what an earlier repair moved,
    // drops the blank one, keeps the good lines byte for byte and the old
    // file as database.txt.bak; then the file loads, and a second repair
    // changes nothing.
    void movesUnreadableLines()
    {
        QTemporaryDir dir;
        const QByteArray shortLine = textfile::ToCp1251(QStringLiteral("Центр|2|5"));
        const QByteArray longLine = textfile::ToCp1251(
            kGood.arg(4).replace(QStringLiteral("Ремонт"), QString(9 << 20, u'x'))); // 18 fields, 9 MB
        const QByteArray before = line(kGood.arg(1)) + shortLine + "\r\n" + line(kGood.arg(2)) + " \t\r\n" +
                                  longLine + "\n" + line(kGood.arg(3)).chopped(2);
        const QString db = WriteBytes(dir.filePath("database.txt"), before);
        const QString rejected = WriteBytes(dir.filePath("database.rejected.txt"), "1\tearlier\r\n");

        Result r = RunInProcess({"--data-dir", dir.path(), "info"});
        QCOMPARE(r.code, 2);
        QVERIFY2(r.err.contains(QStringLiteral("строка 2: полей 3")), qPrintable(r.err));
        QVERIFY2(r.err.contains(QStringLiteral("командой «vestrana-cli repair»")), qPrintable(r.err));

        r = RunInProcess({"--data-dir", dir.path(), "repair"});
        QCOMPARE(r.code, 0);
        QVERIFY2(r.OutLines().size() == 4, qPrintable(r.out + r.err));
        QCOMPARE(r.OutLines(),
                 (QStringList{"Строка 2 перенесена в database.rejected.txt: полей 3, а нужно 18",
                              "Строка 5 перенесена в database.rejected.txt: длиннее 8 МБ",
                              "Прежний файл сохранён как database.txt.bak.",
                              "Перенесено строк: 2, пустых строк убрано: 1. Файл database.txt сохранён, "
                              "записей: 3."}));
        QCOMPARE(ReadBytes(db), line(kGood.arg(1)) + line(kGood.arg(2)) + line(kGood.arg(3)));
        QCOMPARE(ReadBytes(db + ".bak"), before);
        QCOMPARE(ReadBytes(rejected), "1\tearlier\r\n2\t" + shortLine + "\r\n5\t" + longLine + "\r\n");

        r = RunInProcess({"--data-dir", dir.path(), "info"});
        QCOMPARE(r.code, 0);
        QVERIFY(r.OutLines().contains(QStringLiteral("Записей в базе данных: 3")));

        r = RunInProcess({"--data-dir", dir.path(), "repair"});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.OutLines(), QStringList{"Все строки читаются, записей: 3. Файл database.txt не изменён."});
        QCOMPARE(ReadBytes(db + ".bak"), before);
    }

    // A long line is also named by the load, with the same way out.
    void longLineNamesRepair()
    {
        QTemporaryDir dir;
        WriteBytes(dir.filePath("database.txt"), QByteArray(9 << 20, 'x') + "\r\n");
        const Result r = RunInProcess({"--data-dir", dir.path(), "info"});
        QCOMPARE(r.code, 2);
        QVERIFY2(r.err.contains(QStringLiteral("длиннее 8 МБ")), qPrintable(r.err));
        QVERIFY2(r.err.contains(QStringLiteral("«vestrana-cli repair»")), qPrintable(r.err));
    }
};

QTEST_GUILESS_MAIN(TestRepair)
#include "tst_repair.moc"
