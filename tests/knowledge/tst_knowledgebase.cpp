#include "knowledge/KnowledgeBase.h"
#include "platform/Errors.h"
#include "platform/TextFile.h"
#include "search/Program.h"
#include "support/TestSupport.h"

#include <QTemporaryDir>
#include <QTest>

#include <clocale>

using testsupport::ReadBytes;
using testsupport::WriteBytes;

namespace {

QByteArray cp(const QString& s)
{
    return textfile::ToCp1251(s);
}

// A knows.txt with the given lines (UTF-8 in the test, windows-1251 on disk).
QByteArray lines(const QStringList& l)
{
    QByteArray out;
    for (const QString& s : l)
        out += cp(s) + "\r\n";
    return out;
}

QStringList rangeLines(int count = 17)
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
        const QByteArray original = ReadBytes(testsupport::DataFile(QStringLiteral("knowledge/roundtrip.txt")));
        KnowledgeBase kb;
        kb.LoadKnowledge(file(original));
        QCOMPARE(kb.AttributeMax[6], 120.5f);
        QCOMPARE(kb.AttributeMin[6], 18.5f);
        QCOMPARE(kb.AttributeMax[16], 1e7f);
        QCOMPARE(kb.AttributeValueLists[0].Count(), 3);
        QCOMPARE(kb.AttributeValueLists[0].Value(2), QStringLiteral(" Заречье "));
        QCOMPARE(kb.AttributeValueLists[0].Score(2), QStringLiteral("30"));
        QCOMPARE(kb.AttributeValueLists[0].Value(3), QString());
        QCOMPARE(kb.AttributeFormulas[10], QStringLiteral("100 - Расстояние до остановки / 20"));
        QCOMPARE(kb.AttributeComments[5], QStringLiteral("цена в т.р."));
        const QString out = m_dir.filePath(QStringLiteral("out.txt"));
        kb.SaveKnowledge(out);
        QCOMPARE(ReadBytes(out), original);
    }

    void emptyTablesAreWrittenInFull()
    {
        Program p(m_dir.filePath(QStringLiteral("fresh")));
        QDir().mkpath(p.DataDir);
        p.StartUp(); // both files missing: created empty
        QCOMPARE(QFileInfo(p.KnowledgePath()).size(), 0);
        QCOMPARE(QFileInfo(p.DatabasePath()).size(), 0);
        QCOMPARE(p.MaxFound, 10);
        QCOMPARE(p.Knowledge.AttributeNames[16], QStringLiteral("Количество этажей"));
        QCOMPARE(p.Knowledge.AttributeNames[17], QString());
        p.SaveDatabase();
        p.SaveKnowledge();
        QStringList expected{QStringLiteral("AttributeValues")};
        for (int k = 0; k < 17; ++k)
            expected << QStringLiteral(" %1|0|0").arg(k);
        expected << QStringLiteral("AttributeType");
        for (int k = 0; k < 17; ++k)
            expected << QStringLiteral(" %1|||").arg(k);
        QCOMPARE(ReadBytes(p.KnowledgePath()), lines(expected));
        QCOMPARE(QFileInfo(p.DatabasePath()).size(), 0);
    }

    void earlyEnds()
    {
        // Only the two markers: nothing loads.
        KnowledgeBase a;
        a.LoadKnowledge(file(lines({QStringLiteral("AttributeValues"), QStringLiteral("AttributeType"),
                                    QStringLiteral(" 0|Числовой||")})));
        QCOMPARE(a.AttributeKinds[0], QString());

        // Ends right after the ranges: ranges only, no error.
        KnowledgeBase b;
        b.LoadKnowledge(file(lines(QStringList{QStringLiteral("AttributeValues")} + rangeLines())));
        QCOMPARE(b.AttributeMax[16], 160.0f);
        QCOMPARE(b.AttributeMin[3], 3.0f);

        // Value lines then the end: values but no kinds.
        KnowledgeBase c;
        c.LoadKnowledge(file(lines(QStringList{QStringLiteral("junk before"), QStringLiteral("AttributeValues")} +
                                   rangeLines() + QStringList{QStringLiteral(" 3|кирпичный|80")})));
        QCOMPARE(c.AttributeValueLists[3].Value(1), QStringLiteral("кирпичный"));

        // No marker: nothing at all.
        KnowledgeBase d;
        d.LoadKnowledge(file(lines({QStringLiteral(" 0|5|1")})));
        QCOMPARE(d.AttributeMax[0], 0.0f);
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
        QCOMPARE(kb.AttributeMax[4], 10.0f); // 3.5 rounds to 4
        QCOMPARE(kb.AttributeMax[2], 20.0f); // 2.5 rounds to 2
        QCOMPARE(kb.AttributeMax[5], 9500.0f); // the later line wins
        QCOMPARE(kb.AttributeValueLists[17].Value(1), QStringLiteral("слот 17"));
        QCOMPARE(kb.AttributeKinds[12], QStringLiteral("Порядковый"));
        QCOMPARE(kb.AttributeComments[12], QStringLiteral("к"));
        const QString out = m_dir.filePath(QStringLiteral("slot17.txt"));
        kb.SaveKnowledge(out);
        QVERIFY(!ReadBytes(out).contains(cp(QStringLiteral("слот 17")))); // slot 17 is never written
    }

    void loadingAppendsValues()
    {
        const QString f = file(lines(QStringList{QStringLiteral("AttributeValues")} + rangeLines() +
                                     QStringList{QStringLiteral(" 0|Центр|90")}));
        KnowledgeBase kb;
        kb.LoadKnowledge(f);
        kb.LoadKnowledge(f);
        QCOMPARE(kb.AttributeValueLists[0].Count(), 2);
        QCOMPARE(kb.AttributeValueLists[0].IndexOf(u"Центр"), 0);
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
        QTest::newRow("empty range line") << head + QStringList{QString()} << int(VestranaError::Kind::OutOfRange)
                                          << "строка 2";
        QTest::newRow("end inside the ranges") << head + rangeLines(5) << int(VestranaError::Kind::ReadPastEnd)
                                               << "строке 6";
        QTest::newRow("value line too short") << head + rangeLines() + QStringList{QStringLiteral(" 3|кирпичный")}
                                              << int(VestranaError::Kind::OutOfRange) << "строка 19";
        QTest::newRow("type line too short")
            << head + rangeLines() + QStringList{QStringLiteral("AttributeType"), QStringLiteral(" 1|Числовой|")}
            << int(VestranaError::Kind::OutOfRange) << "строка 20";
        QTest::newRow("range too big for single") << head + QStringList{QStringLiteral(" 0|1e39|0")}
                                                  << int(VestranaError::Kind::Overflow) << "строка 2";
    }
    void badLinesNameFileAndLine()
    {
        QFETCH(QStringList, content);
        QFETCH(int, kind);
        QFETCH(QString, line);
        KnowledgeBase kb;
        try {
            kb.LoadKnowledge(file(lines(content), QStringLiteral("bad.txt")));
            QFAIL("no error");
        } catch (const VestranaError& e) {
            QCOMPARE(int(e.kind()), kind);
            QVERIFY2(e.message().contains(line), qPrintable(e.message()));
            QVERIFY(e.message().contains(QStringLiteral("bad.txt")));
        }
    }

    void unsafeTextsAreReplacedOnSave()
    {
        KnowledgeBase kb;
        kb.AttributeFormulas[10] = QStringLiteral("1|2");
        kb.AttributeComments[10] = QStringLiteral("строка\r\nвторая");
        kb.AttributeComments[11] = QStringLiteral("на месте");
        kb.AttributeValueLists[4].Append(QStringLiteral("ул.\nМира"), QStringLiteral("0"));
        kb.AttributeValueLists[4].Append(QStringLiteral("после"), QStringLiteral("7"));
        const QString out = m_dir.filePath(QStringLiteral("unsafe.txt"));
        kb.SaveKnowledge(out);
        KnowledgeBase back;
        back.LoadKnowledge(out);
        QCOMPARE(back.AttributeFormulas[10], QStringLiteral("1¦2"));
        QCOMPARE(back.AttributeComments[10], QStringLiteral("строка вторая"));
        QCOMPARE(back.AttributeComments[11], QStringLiteral("на месте"));
        QCOMPARE(back.AttributeValueLists[4].Values(), (QStringList{QStringLiteral("ул. Мира"), QStringLiteral("после")}));
        QCOMPARE(back.AttributeValueLists[4].Score(2), QStringLiteral("7"));
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
