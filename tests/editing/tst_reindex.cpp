// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "editing/Reindex.h"
#include "knowledge/KnowledgeBase.h"
#include "program/Program.h"
#include "store/Fields.h"
#include "support/Fixtures.h"
#include "support/ProgramSetup.h"

#include <QDir>
#include <QSignalSpy>
#include <QTest>

using fixtures::AddListing;
using fixtures::AddListingWith;

namespace {

struct Setup : testsupport::ProgramSetup
{
    KnowledgeBase& kb = program.Knowledge;

    AttributeValueList& values(field::Field k) { return kb.AttributeValueLists[k]; }
    void setRange(field::Field k, float min, float max)
    {
        kb.AttributeMin[k] = min;
        kb.AttributeMax[k] = max;
    }
    float min(field::Field k) const { return kb.AttributeMin[k]; }
    float max(field::Field k) const { return kb.AttributeMax[k]; }
};

} // namespace

class TestReindex : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void emptyDatabaseResetsRangesOnly()
    {
        Setup s;
        s.kb.AttributeKinds[field::Price] = kinds::Numeric;
        s.setRange(field::Price, 900, 1500);
        s.values(field::District).Append(QStringLiteral("Центр"), QStringLiteral("80"));
        int progressCalls = 0;
        QStringList comments;
        RunContext hooks;
        hooks.steps = [&](qint64, qint64) { ++progressCalls; };
        hooks.progress = [&](const QString& t) { comments << t; };

        QVERIFY(Normalize(s.program, hooks));

        QCOMPARE(progressCalls, 0);
        QCOMPARE(comments, QStringList{QStringLiteral("Индексирование базы данных...")});
        for (field::Field k : field::AttributeFields) {
            QCOMPARE(s.max(k), -999999.0f);
            QCOMPARE(s.min(k), 999999.0f);
        }
        QCOMPARE(s.values(field::District).Values(), QStringList{QStringLiteral("Центр")});
        QCOMPARE(s.values(field::District).Scores(), QStringList{QStringLiteral("80")});
        QVERIFY(!s.program.Busy());
    }

    void acceptedValuesInOrderOfFirstAppearance_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QStringList>("known"); // rated 80 beforehand
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("letter case counts, a repeat adds nothing")
            << QString() << QStringList{} << QStringList{"Центр", "центр", "Центр"}
            << QStringList{"Центр", "центр"};
        QTest::newRow("spaces count")
            << kinds::Ordinal << QStringList{} << QStringList{"Мира 1", " Мира 1", "Мира 1 "}
            << QStringList{"Мира 1", " Мира 1", "Мира 1 "};
        QTest::newRow("empty text added once")
            << kinds::ByValue << QStringList{} << QStringList{"", "ул. Мира", ""}
            << QStringList{"", "ул. Мира"};
        QTest::newRow("known values stay in place, new ones follow")
            << kinds::ByValue << QStringList{"Б", "А"} << QStringList{"А", "В", "Б", "Г", "В"}
            << QStringList{"Б", "А", "В", "Г"};
        QTest::newRow("a numeric attribute collects its texts too")
            << kinds::Numeric << QStringList{} << QStringList{"1500", "900", "дог.", "900"}
            << QStringList{"1500", "900", "дог."};
    }

    void acceptedValuesInOrderOfFirstAppearance()
    {
        QFETCH(QString, kind);
        QFETCH(QStringList, known);
        QFETCH(QStringList, fields);
        QFETCH(QStringList, expected);
        Setup s;
        s.kb.AttributeKinds[field::Address] = kind;
        for (const QString& v : known)
            s.values(field::Address).Append(v, QStringLiteral("80"));
        for (const QString& f : fields)
            AddListingWith(s.program, field::Address, f);

        QVERIFY(Normalize(s.program));

        QCOMPARE(s.values(field::Address).Values(), expected);
        for (int p = 0; p < expected.size(); ++p)
            QCOMPARE(s.values(field::Address).Scores()[p],
                     p < known.size() ? QStringLiteral("80") : QStringLiteral("0"));
    }

    void numericRange_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<float>("min");
        QTest::addColumn<float>("max");

        QTest::newRow("a word reads as 0")
            << kinds::Numeric << QStringList{"1500", "900", "дог."} << 0.0f << 1500.0f;
        QTest::newRow("numbers as Val reads them")
            << kinds::Numeric << QStringList{"45,5", "1 234", " 7.25", "-3 этаж"} << -3.0f << 1234.0f;
        QTest::newRow("one listing") << kinds::Numeric << QStringList{"12"} << 12.0f << 12.0f;
        QTest::newRow("numbers beyond single precision are left out")
            << kinds::Numeric << QStringList{"1e39", "10", "-1e300", "11"} << 10.0f << 11.0f;
        QTest::newRow("nothing in range keeps the starting values")
            << kinds::Numeric << QStringList{"1e39"} << 999999.0f << -999999.0f;
        QTest::newRow("other kinds get the starting values")
            << kinds::ByValue << QStringList{"1500", "900"} << 999999.0f << -999999.0f;
        QTest::newRow("the kind is compared exactly")
            << QStringLiteral("числовой") << QStringList{"1500", "900"} << 999999.0f << -999999.0f;
    }

    void numericRange()
    {
        QFETCH(QString, kind);
        QFETCH(QStringList, fields);
        QFETCH(float, min);
        QFETCH(float, max);
        Setup s;
        s.kb.AttributeKinds[field::Price] = kind;
        s.setRange(field::Price, 1, 2);
        for (const QString& f : fields)
            AddListingWith(s.program, field::Price, f);

        QVERIFY(Normalize(s.program));

        QCOMPARE(s.min(field::Price), min);
        QCOMPARE(s.max(field::Price), max);
    }

    void secondRunChangesNothingAndRatingsStay()
    {
        Setup s;
        s.kb.AttributeKinds[field::District] = kinds::ByValue;
        s.kb.AttributeKinds[field::Price] = kinds::Numeric;
        s.values(field::District).Append(QStringLiteral("Центр"), QStringLiteral("80"));
        AddListing(s.program, {"Центр", "2", "5", "кирпичный", "ул. Мира, 1", "1500"});
        AddListing(s.program, {"Заречье", "1", "", "панельный", "", "900"});
        AddListing(s.program, {"Центр", "3", "7", "", "ул. Мира, 1", "дог."});

        QVERIFY(Normalize(s.program));
        QCOMPARE(s.values(field::District).Values(), (QStringList{"Центр", "Заречье"}));
        QCOMPARE(s.values(field::District).Scores(), (QStringList{"80", "0"}));
        s.values(field::District).SetScore(2, QStringLiteral("30"));
        const auto before = s.kb.AttributeValueLists;
        const auto maxBefore = s.kb.AttributeMax;
        const auto minBefore = s.kb.AttributeMin;

        QVERIFY(Normalize(s.program));

        for (field::Field k : field::AllFields) {
            QCOMPARE(s.kb.AttributeValueLists[k].Values(), before[k].Values());
            QCOMPARE(s.kb.AttributeValueLists[k].Scores(), before[k].Scores());
        }
        QCOMPARE(s.kb.AttributeMax, maxBefore);
        QCOMPARE(s.kb.AttributeMin, minBefore);
        QCOMPARE(s.min(field::Price), 0.0f);
        QCOMPARE(s.max(field::Price), 1500.0f);
    }

    void cancelEndsAtOnceKeepingWhatWasDone()
    {
        Setup s;
        const int n = 2000;
        for (int i = 1; i <= n; ++i) {
            const RecordPtr r = AddListing(s.program, {});
            r->SetRecord(field::District, QStringLiteral("Район %1").arg(i % 7));
            r->SetRecord(field::Rooms, QString::number(i % 5));
            r->SetRecord(field::Price, QString::number(i));
            r->SetRecord(field::TotalArea, QString::number(i * 2));
            r->SetRecord(field::Storeys, QString::number(i % 9));
        }
        s.kb.AttributeKinds[field::Rooms] = kinds::Numeric;
        s.kb.AttributeKinds[field::Price] = kinds::Numeric;
        s.kb.AttributeKinds[field::TotalArea] = kinds::Numeric;
        s.setRange(field::Price, 5, 6);
        s.setRange(field::TotalArea, 11, 22);
        s.setRange(field::Storeys, 33, 44);

        // The cancel arrives a third of the way through the listings.
        qint64 cancelledAt = 0;
        int calls = 0;
        bool busyMeanwhile = false;
        RunContext hooks;
        hooks.steps = [&](qint64 maximum, qint64 value) {
            ++calls;
            QCOMPARE(maximum, qint64(field::Attributes) * n + 1);
            busyMeanwhile = s.program.Busy();
            if (!cancelledAt && value > qint64(field::Attributes) * (n / 3)) {
                cancelledAt = value;
                s.program.ProcessState = 3;
            }
        };

        QVERIFY(!Normalize(s.program, hooks));

        QVERIFY(busyMeanwhile);
        QVERIFY(!s.program.Busy());
        QCOMPARE(s.program.ProcessState, 3);
        QVERIFY2(calls < n, "progress is reported now and then, not per listing");
        // Every attribute has the listings before the one where the cancel was
        // seen: their values in order, and their ranges.
        const int seen = static_cast<int>(cancelledAt / field::Attributes) - 1;
        QVERIFY(seen > 0 && seen < n);
        QCOMPARE(s.values(field::District).Count(), 7);
        QCOMPARE(s.values(field::Rooms).Count(), 5);
        QCOMPARE(s.min(field::Rooms), 0.0f);
        QCOMPARE(s.max(field::Rooms), 4.0f);
        QCOMPARE(s.values(field::Price).Count(), seen);
        QCOMPARE(s.values(field::Price).Values().last(), QString::number(seen));
        QCOMPARE(s.min(field::Price), 1.0f);
        QCOMPARE(s.max(field::Price), float(seen));
        QCOMPARE(s.values(field::TotalArea).Count(), seen);
        QCOMPARE(s.min(field::TotalArea), 2.0f);
        QCOMPARE(s.max(field::TotalArea), float(2 * seen));

        // A cancel before the first listing leaves every range as it was.
        Setup t;
        AddListing(t.program, {"Центр"});
        t.kb.AttributeKinds[field::TotalArea] = kinds::Numeric;
        t.setRange(field::TotalArea, 11, 22);
        RunContext atOnce;
        atOnce.progress = [&](const QString&) { t.program.ProcessState = 3; };
        QVERIFY(!Normalize(t.program, atOnce));
        QCOMPARE(t.min(field::TotalArea), 11.0f);
        QCOMPARE(t.max(field::TotalArea), 22.0f);
        QCOMPARE(t.values(field::District).Count(), 0);

        // The next run starts afresh and runs to the end; it says it is busy
        // and, once it is not, that the knowledge base changed.
        QSignalSpy busy(&s.program, &Program::busyChanged);
        QSignalSpy knowledge(&s.program, &Program::knowledgeChanged);
        bool busyAtAnnouncement = true;
        connect(&s.program, &Program::knowledgeChanged, this, [&] { busyAtAnnouncement = s.program.Busy(); });
        QVERIFY(Normalize(s.program));
        QCOMPARE(busy.size(), 2);
        QCOMPARE(busy[0][0].toBool(), true);
        QCOMPARE(busy[1][0].toBool(), false);
        QCOMPARE(knowledge.size(), 1);
        QVERIFY(!busyAtAnnouncement);
        QCOMPARE(s.program.ProcessState, 2);
        QCOMPARE(s.values(field::Price).Count(), n);
        QCOMPARE(s.max(field::Price), float(n));
        QCOMPARE(s.min(field::TotalArea), 2.0f);
        QCOMPARE(s.max(field::TotalArea), float(2 * n));
        QCOMPARE(s.values(field::Storeys).Count(), 9);
        QCOMPARE(s.max(field::Storeys), -999999.0f);
    }
};

QTEST_GUILESS_MAIN(TestReindex)
#include "tst_reindex.moc"
