// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "platform/CodePage.h"
#include "platform/Errors.h"
#include "platform/LineReader.h"
#include "sample/ListingGenerator.h"
#include "store/Fields.h"
#include "store/Records.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using testsupport::Cp1251;
using testsupport::ReadBytes;
using testsupport::WriteBytes;

namespace {

// The 18 fields, and what the line had after them when it had anything.
QStringList fields(const Record& r)
{
    QStringList out;
    for (field::Field f : field::AllFields)
        out << r.GetRecord(f);
    if (!r.Extra().isEmpty()) out << QStringLiteral("после полей: ") + r.Extra().toString();
    return out;
}

// Small blocks and a forced thread count.
LoadOptions knobs(int threads, qsizetype block)
{
    LoadOptions options;
    options.threads = threads;
    options.blockBytes = block;
    return options;
}

// The lines of a file as the reader splits them, each made a listing the plain
// way: what a load in blocks must give.
QList<QStringList> lineByLine(const QByteArray& content)
{
    QList<QStringList> out;
    textfile::LineReader in(QStringLiteral("mem"), content);
    while (!in.AtEndOfStream()) {
        Record r;
        int pieces = 0;
        if (!r.AssignLine(in.ReadLine(), pieces)) break;
        r.NormalizeData();
        out << fields(r);
    }
    return out;
}

} // namespace

class TestRecords : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }

private Q_SLOTS:
    void newRecordIsEmpty()
    {
        Record r;
        QCOMPARE(fields(r), QStringList(18, QString()));
        QCOMPARE(r.Finded, false);
        QCOMPARE(r.So, 0.0f);
    }

    void fieldsStoreExactlyAndIndexIsChecked()
    {
        Record r;
        r.SetRecord(field::Reserved, QStringLiteral("резерв"));
        r.SetRecord(field::Address, QStringLiteral("  a|b\r\nc  "));
        r.SetRecord(field::District, QStringLiteral("Центр"));
        QCOMPARE(r.GetRecord(field::Reserved), QStringLiteral("резерв"));
        QCOMPARE(r.GetRecord(field::Address), QStringLiteral("  a|b\r\nc  "));
        QCOMPARE(r.GetRecord(field::District), QStringLiteral("Центр"));
        QCOMPARE(r.GetRecord(field::Price), QString());
        for (int bad : {field::Count, -1, 1000}) {
            QVERIFY_THROWS_EXCEPTION(VestranaError, r.GetRecord(field::At(bad)));
            QVERIFY_THROWS_EXCEPTION(VestranaError, r.SetRecord(field::At(bad), QStringLiteral("x")));
        }
        QCOMPARE(r.GetRecord(field::Address), QStringLiteral("  a|b\r\nc  "));
    }

    // Texts about 65535 characters long, where the field ends stop fitting in
    // 16 bits: a first field of exactly that length must not read as the mark
    // of a long listing. Set field by field and read from a file alike.
    void fieldsAroundSixteenBitEnds()
    {
        for (const int length : {65534, 65535, 65536}) {
            for (const field::Field longest : {field::District, field::Rooms, field::Reserved}) {
                QStringList want(field::Count, QString());
                want[field::Index(longest)] = QString(length, u'я');
                Record set;
                for (field::Field f : field::AllFields)
                    set.SetRecord(f, want[field::Index(f)]);
                QCOMPARE(fields(set), want);
                Records db;
                db.LoadFromBytes(QStringLiteral("long.txt"), Cp1251(want.join(u'|') + u'|'));
                QCOMPARE(fields(*db.Items.at(0)), want);
            }
        }
    }

    void sharedListingChangesEverywhere()
    {
        Records db;
        auto r = std::make_shared<Record>();
        db.Items.Add(r);
        QList<RecordPtr> found{r};
        db.Items.Item(1)->SetRecord(field::Price, QStringLiteral("2000"));
        QCOMPARE(found.first()->GetRecord(field::Price), QStringLiteral("2000"));
        db.Items.Remove(1);
        QCOMPARE(found.first()->GetRecord(field::Price), QStringLiteral("2000"));
        QVERIFY_THROWS_EXCEPTION(VestranaError, db.Items.Item(1));
    }

    void normalizeData_data()
    {
        QTest::addColumn<QString>("floor");
        QTest::addColumn<QString>("storeys");
        QTest::addColumn<QString>("expectedFloor");
        QTest::addColumn<QString>("expectedStoreys");
        QTest::newRow("floor/storeys") << "3/9"
                                       << ""
                                       << "3"
                                       << "9";
        QTest::newRow("spaces kept") << "5 / 9"
                                     << ""
                                     << "5 "
                                     << " 9";
        QTest::newRow("third piece dropped") << "5/9/12"
                                             << ""
                                             << "5"
                                             << "9";
        QTest::newRow("no floor") << "/9"
                                  << ""
                                  << ""
                                  << "9";
        QTest::newRow("no storeys") << "5/"
                                    << "12"
                                    << "5"
                                    << "";
        QTest::newRow("no slash leaves both") << "3"
                                              << ""
                                              << "3"
                                              << "";
        QTest::newRow("no slash keeps storeys") << "3"
                                                << "7"
                                                << "3"
                                                << "7";
    }
    void normalizeData()
    {
        QFETCH(QString, floor);
        QFETCH(QString, storeys);
        Record r;
        r.SetRecord(field::Floor, floor);
        r.SetRecord(field::Storeys, storeys);
        r.SetRecord(field::Reserved, QStringLiteral("z"));
        r.NormalizeData();
        QTEST(r.GetRecord(field::Floor), "expectedFloor");
        QTEST(r.GetRecord(field::Storeys), "expectedStoreys");
        QCOMPARE(r.GetRecord(field::Reserved), QStringLiteral("z"));
    }

    void roundTripIsByteForByte()
    {
        const QByteArray original = ReadBytes(testsupport::DataFile(QStringLiteral("store/roundtrip.txt")));
        QVERIFY(!original.isEmpty());
        const QString file = WriteBytes(path(QStringLiteral("rt.txt")), original);
        Records db;
        db.LoadFromFile(file);
        QCOMPARE(db.Items.Count(), 3);
        QCOMPARE(db.Items.Item(1)->GetRecord(field::Floor), QStringLiteral(" 5 "));
        QCOMPARE(db.Items.Item(1)->GetRecord(field::Reserved), QStringLiteral("резерв"));
        QCOMPARE(db.Items.Item(3)->GetRecord(field::District), QStringLiteral(" Заречье "));
        QCOMPARE(fields(*db.Items.Item(2)), QStringList(18, QString()));
        db.SaveToFile(path(QStringLiteral("out.txt")));
        QCOMPARE(ReadBytes(path(QStringLiteral("out.txt"))), original);
    }

    // Pieces after the 18th field (a column added in a spreadsheet) are kept
    // and written back as they stood, through a change of a field, a split
    // floor and a listing too long for 16-bit ends; lines without them are
    // unaffected.
    void extraPiecesWrittenBack()
    {
        QByteArray high;
        for (int b = 128; b < 256; ++b)
            high += char(b);
        const QByteArray plain =
            Cp1251(QStringLiteral("Центр|2|5|к|ул. Мира, 1|1500|54|32|8|Р|300|р|есть|Дом|01.12.2026|"
                                  "Ремонт|9||"));
        const QByteArray withExtra = plain + Cp1251(QStringLiteral("новый столбец|ещё|")) + high + "||";
        const QByteArray split =
            Cp1251(QStringLiteral("Заречье|1|3/5|п|ул. Лесная|900|31|18|6|В|200|с|нет|Дом|"
                                  "02.12.2026||||заметка"));
        const QByteArray wide = "a|b|c|d|e|f|g|h|i|j|k|l|m|n|o|" + QByteArray(70000, 'z') + "|q|r|x|y";
        const QString file = WriteBytes(path(QStringLiteral("extra.txt")),
                                        plain + "\r\n" + withExtra + "\r\n" + split + "\r\n" + wide + "\r\n");
        Records db;
        db.LoadFromFile(file);
        QCOMPARE(db.Items.Count(), 4);
        QVERIFY(db.Items.Item(1)->Extra().isEmpty());
        QCOMPARE(db.Items.Item(2)->GetRecord(field::Reserved), QString());
        QCOMPARE(db.Items.Item(3)->GetRecord(field::Floor), QStringLiteral("3"));
        QCOMPARE(db.Items.Item(3)->Extra(), QStringLiteral("заметка"));
        db.Items.Item(2)->SetRecord(field::Price, QStringLiteral("1400"));
        db.Items.Item(4)->SetRecord(field::District, QString(70000, u'Ж'));
        db.SaveToFile(file);

        QByteArray changed = withExtra;
        changed.replace("|1500|", "|1400|");
        QCOMPARE(ReadBytes(file), plain + "\r\n" + changed + "\r\n" +
                                      QByteArray(split).replace("3/5", "3").replace("2026||||", "2026||5||") +
                                      "\r\n" + Cp1251(QString(70000, u'Ж')) + wide.mid(1) + "\r\n");
        // A listing made in the program has nothing after its fields.
        Record fresh;
        fresh.SetRecord(field::District, QString(70000, u'Ж'));
        QVERIFY(fresh.Extra().isEmpty());
    }

    void load_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("field17OfLast");
        const QByteArray full = QByteArray("a|b|c|d|e|f|g|h|i|j|k|l|m|n|o|p|q|r|");
        QTest::newRow("CR LF lines") << full + "\r\n" + full + "\r\n" << 2 << "r";
        QTest::newRow("last line without CR LF") << full + "\r\n" + full << 2 << "r";
        QTest::newRow("bare LF ends a line") << full + "\n" + full + "\n" << 2 << "r";
        QTest::newRow("without final bar")
            << QByteArray("a|b|c|d|e|f|g|h|i|j|k|l|m|n|o|p|q|r\r\n") << 1 << "r";
        QTest::newRow("extra pieces") << full + "extra|more|\r\n" << 1 << "r";
        QTest::newRow("empty file") << QByteArray() << 0 << "";
        // Editors end a file with a blank line; blank lines at the end hold no listing.
        QTest::newRow("blank line at the end") << full + "\r\n\r\n" << 1 << "r";
        QTest::newRow("blank lines and spaces at the end") << full + "\r\n\r\n  \n\t\r\n\r\n" << 1 << "r";
        QTest::newRow("only a blank line") << QByteArray("\r\n") << 0 << "";
    }
    void load()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, count);
        Records db;
        db.LoadFromFile(WriteBytes(path(QStringLiteral("load.txt")), content));
        QCOMPARE(db.Items.Count(), count);
        if (count > 0) QTEST(db.Items.Item(count)->GetRecord(field::Reserved), "field17OfLast");
    }

    void shortLineStopsWithLineNumber_data()
    {
        QTest::addColumn<QByteArray>("bad");
        QTest::newRow("16 bars") << QByteArray("a|b|c|d|e|f|g|h|i|j|k|l|m|n|o|p|q");
        QTest::newRow("empty line") << QByteArray();
        QTest::newRow("no bar at all") << textfile::ToCp1251(QStringLiteral("просто текст"));
        QTest::newRow("spaces only, in the middle") << QByteArray("   ");
    }
    void shortLineStopsWithLineNumber()
    {
        QFETCH(QByteArray, bad);
        const QByteArray good = QByteArray(18, '|') + "\r\n";
        Records db;
        try {
            db.LoadFromFile(WriteBytes(path(QStringLiteral("short.txt")), good + good + bad + "\r\n" + good));
            QFAIL("no error");
        } catch (const VestranaError& e) {
            QCOMPARE(e.kind(), VestranaError::Kind::OutOfRange);
            QVERIFY2(e.message().contains(QStringLiteral("строка 3")), qPrintable(e.message()));
            QVERIFY(e.message().contains(QStringLiteral("short.txt")));
        }
        QCOMPARE(db.Items.Count(), 2); // the earlier lines stay
    }

    // The file is read in blocks cut at line ends and the halves of a block are
    // decoded side by side: whatever the cut, the listings, their order, the
    // line of the first bad line and the listings before it stay as line by line.
    void blockedLoadMatchesLineByLine_data()
    {
        QTest::addColumn<int>("threads");
        QTest::addColumn<int>("block");
        QTest::newRow("one thread, small blocks") << 1 << 300;
        QTest::newRow("two threads, small blocks") << 2 << 1200;
        QTest::newRow("two threads, a line or two a block") << 2 << 600;
        QTest::newRow("two threads, a line a block") << 2 << 90;
        QTest::newRow("two threads, one block") << 2 << (1 << 20);
    }
    void blockedLoadMatchesLineByLine()
    {
        QFETCH(int, threads);
        QFETCH(int, block);
        const LoadOptions options = knobs(threads, block);
        QList<QByteArray> lines;
        for (int i = 0; i < 40; ++i)
            lines << Cp1251(sample::DatabaseLine(sample::GenerateListing(quint64(i))));
        // Lines that take the other paths: a split floor, extra pieces, no last
        // bar, a bare CR inside, every high byte, and a line of 70000 characters.
        lines[3] = "a|b|5/9/12|" + QByteArray(15, '|') + "r|";
        lines[7] = "a|b|c|d|e|f|g|h|i|j|k|l|m|n|o|p|q|r|extra|more";
        lines[11] = "a|b|c|d|e|f|g|h|i|j|k|l|m|n|o|p|q|r";
        lines[12] = "a\rb|" + QByteArray(17, '|');
        QByteArray high;
        for (int b = 128; b < 256; ++b)
            high += char(b);
        lines[20] = high + "|" + high + "|3/4|" + QByteArray(15, '|');
        lines[25] = QByteArray(70000, 'x') + "|2/5|" + QByteArray(16, '|');
        // Pieces after the 18th: several, one empty, one without a bar, high
        // bytes among them, after a split floor, and on the long line.
        lines[8] = "a|b|c|d|e|f|g|h|i|j|k|l|m|n|o|p|q|r||";
        lines[9] = "a|b|4/9|d|e|f|g|h|i|j|k|l|m|n|o|p|q|r|" + high + "|x";
        lines[26] = QByteArray(70000, 'y') + "|2/5|" + QByteArray(16, '|') + "столбец|";
        const auto join = [&](int bad, const QByteArray& badText) {
            QByteArray content;
            for (int i = 0; i < lines.size(); ++i) {
                content += i + 1 == bad ? badText : lines[i];
                content += i % 5 == 4 ? "\n" : "\r\n"; // both line ends
            }
            return content;
        };

        const QByteArray content = join(0, {});
        const QList<QStringList> expected = lineByLine(content);
        QCOMPARE(expected.size(), lines.size());
        for (const QByteArray& file : {content, content.chopped(2)}) { // also without the last end
            Records db;
            db.LoadFromFile(WriteBytes(path(QStringLiteral("blocks.txt")), file), true, {}, options);
            QList<QStringList> got;
            for (const RecordPtr& r : db.Items)
                got << fields(*r);
            QCOMPARE(got, expected);
            Records fromBytes;
            fromBytes.LoadFromBytes(QStringLiteral("blocks.txt"), file, options);
            QCOMPARE(fromBytes.Items.Count(), lines.size());
            QCOMPARE(fields(*fromBytes.Items.at(25)), expected[25]);
        }

        // A bad line at every place, so in first and second halves alike (a
        // blank one not last, where it would be a blank line at the end).
        for (const QByteArray& badText : {QByteArray("a|b|c"), QByteArray("  ")}) {
            for (int bad = 1; bad <= lines.size() - (badText.startsWith(' ') ? 1 : 0); ++bad) {
                Records db;
                try {
                    db.LoadFromBytes(QStringLiteral("bad.txt"), join(bad, badText), options);
                    QFAIL("no error");
                } catch (const VestranaError& e) {
                    const QString want =
                        QStringLiteral("строка %1: полей %2,").arg(bad).arg(badText.startsWith(' ') ? 1 : 3);
                    QVERIFY2(e.message().contains(want), qPrintable(e.message()));
                }
                QCOMPARE(db.Items.Count(), bad - 1);
                if (bad > 1) QCOMPARE(fields(*db.Items.at(bad - 2)), expected[bad - 2]);
            }
        }
        // Blank lines after the last listing, across blocks, are still ignored.
        Records db;
        db.LoadFromBytes(QStringLiteral("blank.txt"), content + QByteArray(500, ' ') + "\r\n\t\n\n", options);
        QCOMPARE(db.Items.Count(), lines.size());
    }

    // Saving encodes batches of listings side by side, each write overlapping
    // an encoding; the file is the same as one written listing by listing
    // (three rounds of two batches and a short fourth).
    void savedInBatchesAsLineByLine()
    {
        Records db;
        QByteArray expected;
        for (int i = 0; i < 41000; ++i) {
            auto r = std::make_shared<Record>();
            int pieces = 0;
            QVERIFY(r->AssignLine(sample::DatabaseLine(sample::GenerateListing(quint64(i))), pieces));
            if (i == 9000) r->SetRecord(field::Address, QStringLiteral("a|b\r\nc ★"));
            r->AppendLine(expected);
            db.Items.Add(std::move(r));
        }
        for (int threads : {1, 2}) {
            db.SaveToFile(path(QStringLiteral("batches.txt")), {}, knobs(threads, qsizetype(4) << 20));
            QVERIFY(ReadBytes(path(QStringLiteral("batches.txt"))) == expected);
        }
    }

    void missingFileIsCreatedEmpty()
    {
        const QString file = path(QStringLiteral("new.txt"));
        QVERIFY(!QFile::exists(file));
        Records db;
        db.LoadFromFile(file);
        QCOMPARE(db.Items.Count(), 0);
        QVERIFY(QFile::exists(file));
        db.SaveToFile(file);
        QCOMPARE(QFileInfo(file).size(), 0);

        // A start that only reads creates nothing.
        const QString other = path(QStringLiteral("absent.txt"));
        db.LoadFromFile(other, false);
        QCOMPARE(db.Items.Count(), 0);
        QVERIFY(!QFile::exists(other));
    }

    void secondLoadAppends()
    {
        const QString file = WriteBytes(path(QStringLiteral("twice.txt")), QByteArray(18, '|') + "\r\n");
        Records db;
        db.LoadFromFile(file);
        db.LoadFromFile(file);
        QCOMPARE(db.Items.Count(), 2);
    }

    // Whether the file already holds what a save would write: it must never
    // answer yes for a file that differs, in any batch, at its end, or in the
    // tidying a load does to a line.
    void fileHoldsWhatASaveWouldWrite_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("holds");
        QTest::newRow("nothing") << QString() << true;
        QTest::newRow("listing edited") << QStringLiteral("edit") << false;
        QTest::newRow("listing appended") << QStringLiteral("append") << false;
        QTest::newRow("listing removed") << QStringLiteral("remove") << false;
        QTest::newRow("last byte differs on disk") << QStringLiteral("last byte") << false;
        QTest::newRow("more on disk") << QStringLiteral("longer") << false;
        QTest::newRow("file gone") << QStringLiteral("gone") << false;
        QTest::newRow("floor tidied at load") << QStringLiteral("floor") << false;
        QTest::newRow("LF line ends") << QStringLiteral("lf") << false;
    }

    void fileHoldsWhatASaveWouldWrite()
    {
        QFETCH(QString, change);
        QFETCH(bool, holds);
        // More listings than one batch of the encoder.
        QByteArray bytes;
        for (int i = 0; i < 20000; ++i)
            bytes += Cp1251(sample::DatabaseLine(sample::GenerateListing(quint64(i)))) + "\r\n";
        if (change == QStringLiteral("floor")) bytes += "a|b|5/9|" + QByteArray(15, '|') + "\r\n";
        if (change == QStringLiteral("lf")) bytes.replace("\r\n", "\n");
        for (int threads : {1, 2}) {
            const LoadOptions options = knobs(threads, qsizetype(4) << 20);
            const QString file = WriteBytes(path(QStringLiteral("holds.txt")), bytes);
            Records db;
            db.LoadFromFile(file, true, {}, options);
            if (change == QStringLiteral("edit"))
                db.Items.Item(15000)->SetRecord(field::Price, QStringLiteral("1"));
            else if (change == QStringLiteral("append"))
                db.Items.Add(std::make_shared<Record>());
            else if (change == QStringLiteral("remove"))
                db.Items.Remove(1);
            else if (change == QStringLiteral("last byte"))
                WriteBytes(file, bytes.left(bytes.size() - 1) + "x");
            else if (change == QStringLiteral("longer"))
                WriteBytes(file, bytes + "\r\n");
            else if (change == QStringLiteral("gone"))
                QFile::remove(file);
            QCOMPARE(db.FileHolds(file, {}, options), holds);
            // After a save the file holds the listings, whatever came before.
            db.SaveToFile(file, {}, options);
            QVERIFY(db.FileHolds(file, {}, options));
        }
    }

    // A load and a save tell how far they have come, ending at all of it.
    void loadAndSaveTellTheirProgress()
    {
        QByteArray bytes;
        for (int i = 0; i < 20000; ++i)
            bytes += Cp1251(sample::DatabaseLine(sample::GenerateListing(quint64(i)))) + "\r\n";
        const LoadOptions options = knobs(2, 64 << 10);
        const QString file = WriteBytes(path(QStringLiteral("progress.txt")), bytes);
        QList<std::pair<qint64, qint64>> told;
        const auto tell = [&](qint64 done, qint64 total) { told.append({done, total}); };
        Records db;
        db.LoadFromFile(file, true, tell, options);
        QVERIFY(told.size() > 10);
        for (qsizetype i = 0; i < told.size(); ++i) {
            QVERIFY(told[i].first <= told[i].second);
            if (i > 0) QVERIFY(told[i].first >= told[i - 1].first);
        }
        QCOMPARE(told.last(), (std::pair<qint64, qint64>(20000, 20000)));
        told.clear();
        db.SaveToFile(file, tell, options);
        QVERIFY(told.size() > 1);
        QCOMPARE(told.last(), (std::pair<qint64, qint64>(20000, 20000)));
    }

    void floorIsSplitOnLoad()
    {
        Records db;
        db.LoadFromFile(
            WriteBytes(path(QStringLiteral("floor.txt")), "a|b|5/9|" + QByteArray(15, '|') + "\r\n"));
        QCOMPARE(db.Items.Item(1)->GetRecord(field::Floor), QStringLiteral("5"));
        QCOMPARE(db.Items.Item(1)->GetRecord(field::Storeys), QStringLiteral("9"));
    }

    // A bar or a line break in a field would shift every later field at the next
    // start; the file gets "¦" and a space instead, and nothing else moves.
    void unsafeTextsKeepOtherFieldsInPlace()
    {
        Records db;
        auto r = std::make_shared<Record>();
        for (field::Field f : field::AllFields)
            r->SetRecord(f, QStringLiteral("f%1").arg(field::Index(f)));
        r->SetRecord(field::Address, QStringLiteral("ул. Мира|5"));
        r->SetRecord(field::Description, QStringLiteral("строка 1\r\nстрока 2\nстрока 3\rконец"));
        db.Items.Add(r);
        const QString file = path(QStringLiteral("unsafe.txt"));
        db.SaveToFile(file);
        Records back;
        back.LoadFromFile(file);
        QCOMPARE(back.Items.Count(), 1);
        const RecordPtr& b = back.Items.Item(1);
        QCOMPARE(b->GetRecord(field::Address), QStringLiteral("ул. Мира¦5"));
        QCOMPARE(b->GetRecord(field::Description), QStringLiteral("строка 1 строка 2 строка 3 конец"));
        for (field::Field f : field::AllFields)
            if (f != field::Address && f != field::Description)
                QCOMPARE(b->GetRecord(f), QStringLiteral("f%1").arg(field::Index(f)));
    }

    void unencodableCharacterBecomesSubstitute()
    {
        Records db;
        auto r = std::make_shared<Record>();
        r->SetRecord(field::District, QStringLiteral("Ц€нтр ★"));
        db.Items.Add(r);
        db.SaveToFile(path(QStringLiteral("subst.txt")));
        QCOMPARE(ReadBytes(path(QStringLiteral("subst.txt"))).left(7), Cp1251(QStringLiteral("Ц€нтр ?")));
    }

    void failedSaveLeavesOldFile()
    {
        const QString file = WriteBytes(path(QStringLiteral("keep/database.txt")), "old contents\r\n");
        Records db;
        db.Items.Add(std::make_shared<Record>());
        // A missing folder.
        try {
            db.SaveToFile(path(QStringLiteral("nowhere/database.txt")));
            QFAIL("no error");
        } catch (const VestranaError& e) {
            QVERIFY2(e.message().contains(QStringLiteral("папка не существует; файл не создан")),
                     qPrintable(e.message()));
        }
        // A folder without write rights (root ignores them, so only checked where they count).
        QFile::setPermissions(path(QStringLiteral("keep")), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        QFile probe(path(QStringLiteral("keep/probe")));
        const bool rightsCount = !probe.open(QIODevice::WriteOnly);
        probe.remove();
        if (rightsCount) {
            try {
                db.SaveToFile(file);
                QFAIL("no error");
            } catch (const VestranaError& e) {
                QCOMPARE(e.kind(), VestranaError::Kind::File);
                QVERIFY(e.message().contains(QStringLiteral("database.txt")));
                QVERIFY2(e.message().contains(QStringLiteral("нет прав на запись; прежний файл не изменён")),
                         qPrintable(e.message()));
            }
        }
        QFile::setPermissions(path(QStringLiteral("keep")),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QCOMPARE(ReadBytes(file), QByteArray("old contents\r\n"));
    }

    void clearAndClearFinded()
    {
        Records db;
        db.ClearFinded();
        db.Clear();
        for (int i = 0; i < 3; ++i) {
            auto r = std::make_shared<Record>();
            r->Finded = true;
            r->So = 50;
            db.Items.Add(r);
        }
        db.ClearFinded();
        for (const RecordPtr& r : db.Items) {
            QCOMPARE(r->Finded, false);
            QCOMPARE(r->So, 0.0f);
        }
        db.Clear();
        QCOMPARE(db.Items.Count(), 0);
    }
};

QTEST_GUILESS_MAIN(TestRecords)
#include "tst_records.moc"
