// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "knowledge/KnowledgeBase.h"
#include "platform/CodePage.h"
#include "platform/Errors.h"
#include "program/Program.h"
#include "store/Fields.h"
#include "support/TestSupport.h"

#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <array>
#include <clocale>

using testsupport::Cp1251;
using testsupport::ReadBytes;
using testsupport::WriteBytes;

namespace {

// A knows.txt with the given lines (UTF-8 in the test, windows-1251 on disk).
QByteArray lines(const QStringList& l)
{
    QByteArray out;
    for (const QString& s : l)
        out += Cp1251(s) + "\r\n";
    return out;
}

QStringList rangeLines(int count = field::Attributes)
{
    QStringList l;
    for (int k = 0; k < count; ++k)
        l << QStringLiteral(" %1|%2|%3").arg(k).arg(k * 10).arg(k);
    return l;
}

} // namespace

class TestKnowledgeBase : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString file(const QByteArray& content, const QString& name = QStringLiteral("knows.txt"))
    {
        return WriteBytes(m_dir.filePath(name), content);
    }

private Q_SLOTS:
    void initTestCase()
    {
        // Range numbers must come back whole under a locale that writes a comma.
        std::setlocale(LC_ALL, "ru_RU.UTF-8");
        QLocale::setDefault(QLocale(QLocale::Russian));
    }

    void roundTripIsByteForByte()
    {
        const QByteArray original =
            ReadBytes(testsupport::DataFile(QStringLiteral("knowledge/roundtrip.txt")));
        KnowledgeBase kb;
        kb.LoadKnowledge(file(original));
        QCOMPARE(kb.AttributeMax[field::TotalArea], 120.5f);
        QCOMPARE(kb.AttributeMin[field::TotalArea], 18.5f);
        QCOMPARE(kb.AttributeMax[field::Storeys], 1e7f);
        QCOMPARE(kb.AttributeValueLists[field::District].Count(), 3);
        QCOMPARE(kb.AttributeValueLists[field::District].Value(2), QStringLiteral(" Заречье "));
        QCOMPARE(kb.AttributeValueLists[field::District].Score(2), QStringLiteral("30"));
        QCOMPARE(kb.AttributeValueLists[field::District].Value(3), QString());
        QCOMPARE(kb.AttributeFormulas[field::StopDistance],
                 QStringLiteral("100 - Расстояние до остановки / 20"));
        QCOMPARE(kb.AttributeComments[field::Price], QStringLiteral("цена в т.р."));
        const QString out = m_dir.filePath(QStringLiteral("out.txt"));
        kb.SaveKnowledge(out);
        QCOMPARE(ReadBytes(out), original);
    }

    // Whether the file holds what a save would write: any differing, missing
    // or extra byte says no.
    void fileHoldsWhatASaveWouldWrite()
    {
        const QByteArray original =
            ReadBytes(testsupport::DataFile(QStringLiteral("knowledge/roundtrip.txt")));
        KnowledgeBase kb;
        const QString path = file(original, QStringLiteral("holds.txt"));
        kb.LoadKnowledge(path);
        QVERIFY(kb.FileHolds(path));
        const QByteArray differing[] = {original.left(original.size() - 1), original + "\r\n",
                                        QByteArray(original).replace("30", "31")};
        for (const QByteArray& other : differing)
            QVERIFY(!kb.FileHolds(file(other, QStringLiteral("other.txt"))));
        QVERIFY(!kb.FileHolds(m_dir.filePath(QStringLiteral("absent.txt"))));
        kb.AttributeValueLists[field::District].SetScore(2, QStringLiteral("31"));
        QVERIFY(!kb.FileHolds(path));
    }

    // Pieces after a line's last one (a column added in a spreadsheet) are
    // written back after that line as they stood: on range, value and type
    // lines, through a change of the line's own values; a value removed takes
    // its pieces with it.
    void extraPiecesWrittenBack()
    {
        QStringList l{QStringLiteral("AttributeValues")};
        l << rangeLines();
        l[1] += QStringLiteral("|примечание|");
        l << QStringLiteral(" 0|Центр|80|столбец") << QStringLiteral(" 0|Заречье|40")
          << QStringLiteral(" 0|Окраина|10||") << QStringLiteral("AttributeType");
        for (int k = 0; k < KnowledgeBase::Attributes; ++k)
            l << QStringLiteral(" %1|Числовой||").arg(k) +
                     (k == 5 ? QStringLiteral("|в рублях|") : QString());
        KnowledgeBase kb;
        kb.LoadKnowledge(file(lines(l), QStringLiteral("tails.txt")));
        QCOMPARE(
            kb.AttributeValueLists[field::District].Values(),
            (QStringList{QStringLiteral("Центр"), QStringLiteral("Заречье"), QStringLiteral("Окраина")}));
        QCOMPARE(kb.AttributeComments[field::Price], QString());
        const QString out = m_dir.filePath(QStringLiteral("tails-out.txt"));
        kb.SaveKnowledge(out);
        QCOMPARE(ReadBytes(out), lines(l));

        kb.AttributeValueLists[field::District].SetScore(1, QStringLiteral("90"));
        kb.AttributeValueLists[field::District].Remove(3);
        kb.AttributeMax[field::District] = 5;
        kb.AttributeComments[field::Price] = QStringLiteral("цена");
        kb.SaveKnowledge(out);
        l[1] = QStringLiteral(" 0|5|0|примечание|");
        l[18] = QStringLiteral(" 0|Центр|90|столбец");
        l.removeAt(20);
        l[20 + 1 + 5] = QStringLiteral(" 5|Числовой||цена|в рублях|");
        QCOMPARE(ReadBytes(out), lines(l));
    }

    // Both files load side by side; a start reports the listings' fault first,
    // as when they loaded first, and a failed start creates no knows.txt.
    void startReportsTheDatabaseFirst()
    {
        const QByteArray badDatabase = "short|line\r\n";
        const QByteArray badKnowledge = "keep me\r\n";
        const QByteArray goodDatabase = QByteArray("a|") + QByteArray(17, '|') + "\r\n";
        struct Case
        {
            QByteArray database, knowledge; // null: no file
            const char* names;              // the file the error names, or null: no error
        };
        const Case cases[] = {
            {badDatabase, badKnowledge, "database.txt"},
            {badDatabase, QByteArray(), "database.txt"},
            {goodDatabase, badKnowledge, "knows.txt"},
            {goodDatabase, lines(QStringList{QStringLiteral("AttributeValues")} + rangeLines()), nullptr}};
        int n = 0;
        for (const Case& c : cases) {
            for (bool readOnly : {false, true}) {
                const QString dir = m_dir.filePath(QStringLiteral("start%1").arg(n++));
                QDir().mkpath(dir);
                WriteBytes(QDir(dir).filePath(QStringLiteral("database.txt")), c.database);
                if (!c.knowledge.isNull())
                    WriteBytes(QDir(dir).filePath(QStringLiteral("knows.txt")), c.knowledge);
                Program p(dir);
                try {
                    p.StartUp(readOnly);
                    QVERIFY2(!c.names, c.names);
                    QCOMPARE(p.Records.Items.Count(), 1);
                } catch (const VestranaError& e) {
                    QVERIFY2(c.names && e.message().contains(QLatin1String(c.names)),
                             qPrintable(e.message()));
                }
                QCOMPARE(QFileInfo::exists(p.KnowledgePath()), !c.knowledge.isNull());
            }
        }
    }

    void emptyTablesAreWrittenInFull()
    {
        Program p(m_dir.filePath(QStringLiteral("fresh")));
        QDir().mkpath(p.DataDir);
        p.StartUp(); // both files missing: created empty
        QCOMPARE(QFileInfo(p.KnowledgePath()).size(), 0);
        QCOMPARE(QFileInfo(p.DatabasePath()).size(), 0);
        QCOMPARE(p.MaxFound, 10);
        QCOMPARE(p.Knowledge.AttributeNames[field::Storeys], QStringLiteral("Количество этажей"));
        QCOMPARE(p.Knowledge.AttributeNames[field::Reserved], QString());
        p.SaveDatabase();
        p.SaveKnowledge();
        QStringList expected{QStringLiteral("AttributeValues")};
        for (int k = 0; k < field::Attributes; ++k)
            expected << QStringLiteral(" %1|0|0").arg(k);
        expected << QStringLiteral("AttributeType");
        for (int k = 0; k < field::Attributes; ++k)
            expected << QStringLiteral(" %1|||").arg(k);
        QCOMPARE(ReadBytes(p.KnowledgePath()), lines(expected));
        QCOMPARE(QFileInfo(p.DatabasePath()).size(), 0);
    }

    void earlyEnds()
    {
        // Only the two markers: nothing loads.
        KnowledgeBase a;
        a.LoadKnowledge(file(lines({QStringLiteral("AttributeValues"), QStringLiteral("AttributeType")})));
        QCOMPARE(a.AttributeKinds[field::District], QString());

        // Ends right after the ranges: ranges only, no error.
        KnowledgeBase b;
        b.LoadKnowledge(file(lines(QStringList{QStringLiteral("AttributeValues")} + rangeLines())));
        QCOMPARE(b.AttributeMax[field::Storeys], 160.0f);
        QCOMPARE(b.AttributeMin[field::HouseType], 3.0f);

        // Value lines then the end (and the blank lines an editor adds): values but no kinds.
        KnowledgeBase c;
        c.LoadKnowledge(
            file(lines(QStringList{QStringLiteral("AttributeValues")} + rangeLines() +
                       QStringList{QStringLiteral(" 3|кирпичный|80"), QString(), QStringLiteral("  ")})));
        QCOMPARE(c.AttributeValueLists[field::HouseType].Value(1), QStringLiteral("кирпичный"));

        // An empty file, or one of blank lines only: nothing at all.
        for (const QByteArray& empty : {QByteArray(), QByteArray("\r\n"), QByteArray("\r\n \r\n\n")}) {
            KnowledgeBase d;
            d.LoadKnowledgeBytes(QStringLiteral("knows.txt"), empty);
            QCOMPARE(d.AttributeMax[field::District], 0.0f);
        }
    }

    // Every file the program writes loads unchanged: the sample and a saved one.
    void writtenFilesLoadUnchanged()
    {
        const QByteArray sample = ReadBytes(QStringLiteral(VESTRANA_SOURCE_DIR "/data/knows.txt"));
        QVERIFY(sample.size() > 1000);
        KnowledgeBase kb;
        kb.LoadKnowledgeBytes(QStringLiteral("knows.txt"), sample);
        const QString out = m_dir.filePath(QStringLiteral("sample.txt"));
        kb.SaveKnowledge(out);
        QCOMPARE(ReadBytes(out), sample);
        QCOMPARE(kb.SaveKnowledgeBytes(), sample);

        // Odd but legal contents written by SaveKnowledge: empty and huge
        // ranges, fractions, values that look like markers or numbers.
        KnowledgeBase odd;
        odd.AttributeMax[field::District] = 3.4e38f;
        odd.AttributeMin[field::District] = -3.4e38f;
        odd.AttributeMax[field::Rooms] = 0.0001f;
        odd.AttributeMin[field::Rooms] = 1e-30f;
        odd.AttributeValueLists[field::Floor].Append(QStringLiteral("AttributeType"),
                                                     QStringLiteral("AttributeValues"));
        odd.AttributeValueLists[field::Floor].Append(QString(), QString());
        odd.AttributeValueLists[field::Storeys].Append(QStringLiteral("  "), QStringLiteral("высоко"));
        odd.AttributeKinds[field::HouseType] = QStringLiteral("AttributeType");
        odd.AttributeFormulas[field::HouseType] = QStringLiteral("Цена|Этаж");
        const QString first = m_dir.filePath(QStringLiteral("odd1.txt"));
        odd.SaveKnowledge(first);
        KnowledgeBase back;
        back.LoadKnowledge(first);
        QCOMPARE(back.AttributeValueLists[field::Floor].Values(),
                 (QStringList{QStringLiteral("AttributeType"), QString()}));
        QCOMPARE(back.AttributeValueLists[field::Storeys].Score(1), QStringLiteral("высоко"));
        QCOMPARE(back.AttributeMax[field::District], 3.4e38f);
        const QString second = m_dir.filePath(QStringLiteral("odd2.txt"));
        back.SaveKnowledge(second);
        QCOMPARE(ReadBytes(second), ReadBytes(first));
    }

    void linesAreTakenByIndex()
    {
        QStringList l{QStringLiteral("AttributeValues")};
        l << QStringLiteral(" 3.5|10|1") << QStringLiteral("2.5|20|2") << QStringLiteral(" 5|1|1")
          << QStringLiteral("5|9500|700");
        for (int k = 0; k < 13; ++k)
            l << QStringLiteral(" 0|0|0");
        l << QStringLiteral(" 17|слот 17|55") << QStringLiteral("AttributeType")
          << QStringLiteral(" 12|Порядковый|ф|к|лишнее");
        KnowledgeBase kb;
        kb.LoadKnowledge(file(lines(l)));
        QCOMPARE(kb.AttributeMax[field::Address], 10.0f); // 3.5 rounds to 4
        QCOMPARE(kb.AttributeMax[field::Floor], 20.0f);   // 2.5 rounds to 2
        QCOMPARE(kb.AttributeMax[field::Price], 9500.0f); // the later line wins
        QCOMPARE(kb.AttributeValueLists[field::Reserved].Value(1), QStringLiteral("слот 17"));
        QCOMPARE(kb.AttributeKinds[field::Telephone], QStringLiteral("Порядковый"));
        QCOMPARE(kb.AttributeComments[field::Telephone], QStringLiteral("к"));
        const QString out = m_dir.filePath(QStringLiteral("slot17.txt"));
        kb.SaveKnowledge(out);
        QVERIFY(!ReadBytes(out).contains(Cp1251(QStringLiteral("слот 17")))); // slot 17 is never written
    }

    void loadingAppendsValues()
    {
        const QString f = file(lines(QStringList{QStringLiteral("AttributeValues")} + rangeLines() +
                                     QStringList{QStringLiteral(" 0|Центр|90")}));
        KnowledgeBase kb;
        kb.LoadKnowledge(f);
        kb.LoadKnowledge(f);
        QCOMPARE(kb.AttributeValueLists[field::District].Count(), 2);
        QCOMPARE(kb.AttributeValueLists[field::District].IndexOf(u"Центр"), 0);
    }

    void badLinesNameFileAndLine_data()
    {
        QTest::addColumn<QStringList>("content");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("line");
        const QStringList head{QStringLiteral("AttributeValues")};
        QTest::newRow("index 18") << head + QStringList{QStringLiteral(" 18|1|1")}
                                  << int(VestranaError::Kind::OutOfRange) << "строка 2";
        QTest::newRow("index -1") << head + QStringList{QStringLiteral("-1|1|1")}
                                  << int(VestranaError::Kind::OutOfRange) << "строка 2";
        QTest::newRow("index too big for 32 bits") << head + QStringList{QStringLiteral("99999999999|1|1")}
                                                   << int(VestranaError::Kind::Overflow) << "строка 2";
        QTest::newRow("range line with two pieces") << head + QStringList{QStringLiteral(" 0|1")}
                                                    << int(VestranaError::Kind::OutOfRange) << "строка 2";
        QTest::newRow("empty range line") << head + QStringList{QString(), QStringLiteral(" 1|1|1")}
                                          << int(VestranaError::Kind::Format) << "строка 2";
        QTest::newRow("end inside the ranges")
            << head + rangeLines(5) << int(VestranaError::Kind::ReadPastEnd) << "строке 6";
        QTest::newRow("value line too short")
            << head + rangeLines() + QStringList{QStringLiteral(" 3|кирпичный")}
            << int(VestranaError::Kind::OutOfRange) << "строка 19";
        QTest::newRow("type line too short")
            << head + rangeLines() +
                   QStringList{QStringLiteral("AttributeType"), QStringLiteral(" 1|Числовой|")}
            << int(VestranaError::Kind::OutOfRange) << "строка 20";
        QTest::newRow("range too big for single") << head + QStringList{QStringLiteral(" 0|1e39|0")}
                                                  << int(VestranaError::Kind::Overflow) << "строка 2";
        // Files in another layout: refused where they once loaded as an empty base.
        const QStringList types{QStringLiteral("AttributeType"), QStringLiteral(" 0|Числовой||")};
        QTest::newRow("marker in lower case") << QStringList{QStringLiteral("attributevalues")} + rangeLines()
                                              << int(VestranaError::Kind::Format) << "строка 1";
        QTest::newRow("marker with a trailing space")
            << QStringList{QStringLiteral("AttributeValues ")} + rangeLines()
            << int(VestranaError::Kind::Format) << "строка 1";
        QTest::newRow("marker with a field") << QStringList{QStringLiteral("AttributeValues|")} + rangeLines()
                                             << int(VestranaError::Kind::Format) << "строка 1";
        QTest::newRow("lines before the marker")
            << QStringList{QStringLiteral("база"), QStringLiteral("AttributeValues")}
            << int(VestranaError::Kind::Format) << "строка 1";
        QTest::newRow("no marker at all")
            << QStringList{QStringLiteral(" 0|5|1")} << int(VestranaError::Kind::Format) << "строка 1";
        QTest::newRow("types before values")
            << types + head + rangeLines() << int(VestranaError::Kind::Format) << "строка 1";
        QTest::newRow("types marker among the ranges, lines after it")
            << head + rangeLines(3) + types << int(VestranaError::Kind::Format) << "строка 5";
        QTest::newRow("second values marker")
            << head + rangeLines() + head << int(VestranaError::Kind::Format) << "строка 19";
        QTest::newRow("second types marker")
            << head + rangeLines() + types + types << int(VestranaError::Kind::Format) << "строка 21";
        QTest::newRow("types marker with a trailing space")
            << head + rangeLines() +
                   QStringList{QStringLiteral("AttributeType "), QStringLiteral(" 0|Числовой||")}
            << int(VestranaError::Kind::Format) << "строка 19";
        QTest::newRow("index is a word") << head + QStringList{QStringLiteral("ноль|1|1")}
                                         << int(VestranaError::Kind::Format) << "строка 2";
        QTest::newRow("range is a word") << head + QStringList{QStringLiteral(" 0|много|1")}
                                         << int(VestranaError::Kind::Format) << "строка 2";
        QTest::newRow("range with a decimal comma") << head + QStringList{QStringLiteral(" 0|30,5|1")}
                                                    << int(VestranaError::Kind::Format) << "строка 2";
        QTest::newRow("blank line in the middle")
            << head + rangeLines() + QStringList{QString(), QStringLiteral(" 1|2|0")}
            << int(VestranaError::Kind::Format) << "строка 19";
        QTest::newRow("blank lines inside the ranges at the end")
            << head + rangeLines(4) + QStringList{QString(), QString()}
            << int(VestranaError::Kind::ReadPastEnd) << "строке 7";
    }
    void badLinesNameFileAndLine()
    {
        QFETCH(QStringList, content);
        QFETCH(int, kind);
        QFETCH(QString, line);
        KnowledgeBase kb;
        try {
            kb.LoadKnowledgeBytes(QStringLiteral("bad.txt"), lines(content));
            QFAIL("no error");
        } catch (const VestranaError& e) {
            QCOMPARE(int(e.kind()), kind);
            QVERIFY2(e.message().contains(line), qPrintable(e.message()));
            QVERIFY(e.message().contains(QStringLiteral("bad.txt")));
        }
    }

    // A file whose sections stand the wrong way round is told so, and the
    // message names only the marker the first line must be.
    void swappedSectionsMessageNamesOneMarker()
    {
        const QStringList content =
            QStringList{QStringLiteral("AttributeType"), QStringLiteral(" 0|Числовой||"),
                        QStringLiteral("AttributeValues")} +
            rangeLines();
        KnowledgeBase kb;
        try {
            kb.LoadKnowledgeBytes(QStringLiteral("bad.txt"), lines(content));
            QFAIL("no error");
        } catch (const VestranaError& e) {
            const QString m = e.message();
            QVERIFY2(m.contains(QStringLiteral("должна быть «AttributeValues», а стоит «AttributeType»")),
                     qPrintable(m));
            QVERIFY2(m.contains(QStringLiteral("обратном порядке")), qPrintable(m));
            QVERIFY2(!m.contains(QStringLiteral("пишется точно так")), qPrintable(m));
        }
    }

    // The value lines are read in blocks and split on the bytes: whatever the
    // block size, each line reads as it does alone, and a line of another form
    // (an index written otherwise, a marker, a blank or a bad line) anywhere in
    // a block, in either half, is read or refused as line by line.
    void valuesReadInBlocksAsLineByLine_data()
    {
        QTest::addColumn<int>("block");
        QTest::newRow("a line or two a block") << 64;
        QTest::newRow("many lines a block, in halves") << 600;
        QTest::newRow("one block") << (1 << 20);
    }
    void valuesReadInBlocksAsLineByLine()
    {
        QFETCH(int, block);
        LoadOptions options;
        options.blockBytes = block;

        QString high; // every character of the code page above ASCII
        for (int b = 128; b < 256; ++b)
            if (b != 0x98) high += textfile::FromCp1251(QByteArray(1, char(b)));
        struct Entry
        {
            int k;
            QString value, score;
        };
        QStringList values;
        QList<Entry> want;
        for (int i = 0; i < 60; ++i) {
            const int k = (i * 7) % 18;
            QString value = QStringLiteral("значение %1").arg(i);
            QString score = i % 3 ? QStringLiteral("0") : QString::number(i);
            QString line = QStringLiteral(" %1|%2|%3").arg(k).arg(value, score);
            switch (i) {
            case 4:
                value = high, line = QStringLiteral(" %1|%2|%3").arg(k).arg(value, score);
                break;
            case 5:
                value = QString(), line = QStringLiteral(" %1||%2").arg(k).arg(score);
                break;
            case 6:
                score = QString(), line = QStringLiteral(" %1|%2|").arg(k).arg(value);
                break;
            case 8:
                line = QStringLiteral("0%1|%2|%3").arg(k).arg(value, score);
                break; // "05"
            case 11:
                line = QStringLiteral("%1.0|%2|%3").arg(k).arg(value, score);
                break; // strict path
            case 14:
                line += QStringLiteral("|лишнее|и ещё");
                break; // pieces after the third are kept apart
            case 17:
                value = QStringLiteral("a\rb"), line = QStringLiteral(" %1|a\rb|%2").arg(k).arg(score);
                break;
            case 23:
                value = QString(3000, u'д'), line = QStringLiteral(" %1|%2|%3").arg(k).arg(value, score);
                break;
            case 31:
                value = want[2].value, line = QStringLiteral(" %1|%2|%3").arg(k).arg(value, score);
                break;
            default:
                break;
            }
            values << line;
            want.append({k, value, score});
        }
        const QStringList types{QStringLiteral("AttributeType"), QStringLiteral(" 2|Числовой|[x] * 2|этаж"),
                                QStringLiteral(" 16|Порядковый||")};
        const QStringList head = QStringList{QStringLiteral("AttributeValues")} + rangeLines();
        const auto bytes = [](const QStringList& l, const QByteArray& tail) -> QByteArray {
            QByteArray out;
            for (int i = 0; i < l.size(); ++i)
                out += Cp1251(l[i]) + (i % 4 == 3 ? "\n" : "\r\n"); // both line ends
            return out + tail;
        };

        for (const QByteArray& tail : {QByteArray(), QByteArray("  \r\n\r\n")}) {
            for (bool withTypes : {true, false}) {
                KnowledgeBase kb;
                kb.LoadKnowledgeBytes(QStringLiteral("blocks.txt"),
                                      bytes(head + values + (withTypes ? types : QStringList()), tail),
                                      options);
                std::array<QStringList, KnowledgeBase::Slots> wantValues, wantScores;
                for (const Entry& e : want) {
                    wantValues[size_t(e.k)] << e.value;
                    wantScores[size_t(e.k)] << e.score;
                }
                for (int k = 0; k < KnowledgeBase::Slots; ++k) {
                    QCOMPARE(kb.AttributeValueLists[field::At(k)].Values(), wantValues[size_t(k)]);
                    QCOMPARE(kb.AttributeValueLists[field::At(k)].Scores(), wantScores[size_t(k)]);
                }
                QCOMPARE(kb.AttributeValueLists[field::At(want[31].k)].IndexOf(want[2].value),
                         int(wantValues[size_t(want[31].k)].indexOf(want[2].value)));
                QCOMPARE(kb.ValueTails[field::At(want[14].k)],
                         (QHash<QString, QString>{{want[14].value, QStringLiteral("|лишнее|и ещё")}}));
                QCOMPARE(kb.AttributeFormulas[field::Floor],
                         withTypes ? QStringLiteral("[x] * 2") : QString());
                QCOMPARE(kb.AttributeKinds[field::Storeys].Text(), withTypes ? kinds::Ordinal : QString());
            }
        }

        // A bad line and a blank line at every place among the values.
        const int first = int(head.size()) + 1;
        for (int bad = 0; bad < values.size(); ++bad) {
            for (const QString& badText : {QStringLiteral(" 3|кирпичный"), QString()}) {
                QStringList l = values;
                l[bad] = badText;
                KnowledgeBase kb;
                try {
                    kb.LoadKnowledgeBytes(QStringLiteral("bad.txt"), bytes(head + l + types, {}), options);
                    QFAIL("no error");
                } catch (const VestranaError& e) {
                    QCOMPARE(int(e.kind()), int(badText.isEmpty() ? VestranaError::Kind::Format
                                                                  : VestranaError::Kind::OutOfRange));
                    const QString at = QStringLiteral("строка %1:").arg(first + bad);
                    QVERIFY2(e.message().contains(at), qPrintable(e.message() + QStringLiteral(" / ") + at));
                }
            }
        }
    }

    // Loaded lists stay undecoded until first used; every kind of use sees
    // them in place, before what is added later, and a copy decodes on its own.
    void listsDecodeOnFirstUse()
    {
        const QByteArray file =
            lines(QStringList{QStringLiteral("AttributeValues")} + rangeLines() +
                  QStringList{QStringLiteral(" 0|Центр|90"), QStringLiteral(" 0|Заречье|0"),
                              QStringLiteral(" 0|Центр|10"), QStringLiteral(" 4|ул. Мира|0")});
        KnowledgeBase kb;
        kb.LoadKnowledgeBytes(QStringLiteral("knows.txt"), file);
        const KnowledgeBase copy = kb;
        AttributeValueList& district = kb.AttributeValueLists[field::District];
        QCOMPARE(district.Count(), 3);
        district.Append(QStringLiteral("Новое"), QStringLiteral("5"));
        QCOMPARE(district.Values(), (QStringList{"Центр", "Заречье", "Центр", "Новое"}));
        QCOMPARE(district.Scores(), (QStringList{"90", "0", "10", "5"}));
        QCOMPARE(district.IndexOf(u"Центр"), 0); // the first occurrence
        district.SetScore(2, QStringLiteral("55"));
        QVERIFY(district.AppendIfAbsent(u"Заречье ", QStringLiteral("0")));

        AttributeValueList& address = kb.AttributeValueLists[field::Address];
        address.Remove(1);
        QCOMPARE(address.Count(), 0);
        kb.AttributeValueLists[field::Address] = copy.AttributeValueLists[field::Address];
        kb.AttributeValueLists[field::Address].Clear();
        QCOMPARE(kb.AttributeValueLists[field::Address].Count(), 0);

        // The copy kept the file's lists, decoded only now.
        QCOMPARE(copy.AttributeValueLists[field::District].Count(), 3);
        QCOMPARE(copy.AttributeValueLists[field::District].Score(2), QStringLiteral("0"));
        QCOMPARE(copy.AttributeValueLists[field::Address].Value(1), QStringLiteral("ул. Мира"));
        QCOMPARE(
            copy.SaveKnowledgeBytes(),
            lines(QStringList{QStringLiteral("AttributeValues")} + rangeLines() +
                  QStringList{QStringLiteral(" 0|Центр|90"), QStringLiteral(" 0|Заречье|0"),
                              QStringLiteral(" 0|Центр|10"), QStringLiteral(" 4|ул. Мира|0")}) +
                lines(QStringList{QStringLiteral("AttributeType")}) + [] {
                    QByteArray t;
                    for (int k = 0; k < field::Attributes; ++k)
                        t += Cp1251(QStringLiteral(" %1|||").arg(k)) + "\r\n";
                    return t;
                }());
        QCOMPARE(kb.AttributeValueLists[field::District].Score(2), QStringLiteral("55"));
    }

    // A file that is not windows-1251 text says so; nothing loads.
    void otherEncodingsAndBinaryAreRefused_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("says");
        const QByteArray plain = lines(QStringList{QStringLiteral("AttributeValues")} + rangeLines());
        QTest::newRow("UTF-8 with a mark") << QByteArray("\xEF\xBB\xBF") + plain << "UTF-8";
        QString wide = QStringLiteral("\uFEFFAttributeValues\r\n 0|1|1\r\n");
        QTest::newRow("UTF-16 LE") << QByteArray(reinterpret_cast<const char*>(wide.utf16()), wide.size() * 2)
                                   << "UTF-16";
        QTest::newRow("UTF-16 BE") << QByteArray("\xFE\xFF\0A\0t") << "UTF-16";
        QTest::newRow("binary") << QByteArray("\x7F"
                                              "ELF\x02\x01\x01\0\0\0|\n\x01\x02",
                                              14)
                                << "AttributeValues";
    }
    void otherEncodingsAndBinaryAreRefused()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, says);
        const QString path = file(content, QStringLiteral("enc.txt"));
        KnowledgeBase kb;
        try {
            kb.LoadKnowledge(path);
            QFAIL("no error");
        } catch (const VestranaError& e) {
            QVERIFY2(e.message().contains(says), qPrintable(e.message()));
            QVERIFY(e.message().contains(QStringLiteral("enc.txt")));
            if (says.startsWith(QStringLiteral("UTF")))
                QVERIFY(e.message().contains(QStringLiteral("windows-1251")));
        }
        QCOMPARE(kb.AttributeMax[field::District], 0.0f);
        QCOMPARE(ReadBytes(path), content);
    }

    void unsafeTextsAreReplacedOnSave()
    {
        KnowledgeBase kb;
        kb.AttributeFormulas[field::StopDistance] = QStringLiteral("1|2");
        kb.AttributeComments[field::StopDistance] = QStringLiteral("строка\r\nвторая");
        kb.AttributeComments[field::Bathroom] = QStringLiteral("на месте");
        kb.AttributeValueLists[field::Address].Append(QStringLiteral("ул.\nМира"), QStringLiteral("0"));
        kb.AttributeValueLists[field::Address].Append(QStringLiteral("после"), QStringLiteral("7"));
        const QString out = m_dir.filePath(QStringLiteral("unsafe.txt"));
        kb.SaveKnowledge(out);
        KnowledgeBase back;
        back.LoadKnowledge(out);
        QCOMPARE(back.AttributeFormulas[field::StopDistance], QStringLiteral("1¦2"));
        QCOMPARE(back.AttributeComments[field::StopDistance], QStringLiteral("строка вторая"));
        QCOMPARE(back.AttributeComments[field::Bathroom], QStringLiteral("на месте"));
        QCOMPARE(back.AttributeValueLists[field::Address].Values(),
                 (QStringList{QStringLiteral("ул. Мира"), QStringLiteral("после")}));
        QCOMPARE(back.AttributeValueLists[field::Address].Score(2), QStringLiteral("7"));
    }

    void valueIndexKeepsFirstOccurrence()
    {
        AttributeValueList l;
        l.Append(QStringLiteral("a"), QStringLiteral("1"));
        l.Append(QStringLiteral("b"), QStringLiteral("2"));
        l.Append(QStringLiteral("a"), QStringLiteral("3"));
        QCOMPARE(l.IndexOf(u"a"), 0);
        QCOMPARE(l.IndexOf(u"A"), -1);
        l.Remove(1);
        QCOMPARE(l.IndexOf(u"a"), 1);
        QCOMPARE(l.IndexOf(u"b"), 0);
        QCOMPARE(l.Score(2), QStringLiteral("3"));
        QVERIFY_THROWS_EXCEPTION(VestranaError, l.Value(3));
    }
};

QTEST_GUILESS_MAIN(TestKnowledgeBase)
#include "tst_knowledgebase.moc"
