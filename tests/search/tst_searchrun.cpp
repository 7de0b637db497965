// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "program/Program.h"
#include "search/SearchRun.h"
#include "store/Fields.h"
#include "support/Fixtures.h"

#include <QTest>

#include <clocale>

using fixtures::AddListing;
using fixtures::AddListingWith;

namespace {

// A program with n empty listings whose field 0 is "L<position>".
void fill(Program& p, int n)
{
    for (int i = 1; i <= n; ++i)
        AddListingWith(p, field::District, QStringLiteral("L%1").arg(i));
}

QStringList found(const Program& p)
{
    QStringList out;
    for (const RecordPtr& r : p.FoundList)
        out << r->GetRecord(field::District) + QStringLiteral(":") + SearchRun::ScoreText(r->So);
    return out;
}

SearchRun::Wishes wish(field::Field k, const QString& text)
{
    SearchRun::Wishes w;
    w[k] = text;
    return w;
}

} // namespace

class TestSearchRun : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { std::setlocale(LC_ALL, "ru_RU.UTF-8"); }

    void noWishesFindsTheFirstTen()
    {
        Program p;
        p.InitAttributeNames();
        fill(p, 12);
        QVERIFY(SearchRun::Run(p, {}, {}));
        QCOMPARE(p.FoundList.size(), 10);
        QCOMPARE(found(p).first(), QStringLiteral("L1: 100"));
        QCOMPARE(found(p).last(), QStringLiteral("L10: 100"));
        // The scoring pass ended after the tenth perfect score.
        QCOMPARE(p.Records.Items.Item(11)->So, 0.f);
    }

    void spacesOnlyIsNoWish()
    {
        Program p;
        p.InitAttributeNames();
        fill(p, 3);
        p.Knowledge.AttributeKinds[field::District] = kinds::Ordinal;
        QVERIFY(SearchRun::Run(p, wish(field::District, QStringLiteral("   ")), {}));
        QCOMPARE(found(p), (QStringList{"L1: 100", "L2: 100", "L3: 100"}));
    }

    // A re-index lists the empty text as an accepted value wherever a field is
    // blank, and the expert may rate it: an empty wish still means "no wish".
    void emptyWishIsNeverReplaced_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::newRow("empty") << QString();
        QTest::newRow("spaces only") << QStringLiteral("   ");
    }
    void emptyWishIsNeverReplaced()
    {
        QFETCH(QString, typed);
        Program p;
        p.InitAttributeNames();
        fill(p, 12);
        for (field::Field k : {field::District, field::Telephone}) {
            p.Knowledge.AttributeKinds[k] = kinds::ByValue;
            p.Knowledge.AttributeValueLists[k].Append(QString(), QStringLiteral("0"));
            p.Knowledge.AttributeValueLists[k].Append(QStringLiteral("есть"), QStringLiteral("80"));
        }
        p.Records.Items.Item(1)->SetRecord(field::Telephone, QStringLiteral("есть"));
        SearchRun::Wishes wishes = wish(field::Telephone, typed);
        QCOMPARE(SearchRun::Prepare(p, wishes)[field::Telephone].text, QString());
        QCOMPARE(SearchRun::Prepare(p, wishes)[field::District].text, QString());
        QVERIFY(SearchRun::Run(p, wishes, {}));
        QCOMPARE(p.FoundList.size(), 10);
        for (int i = 0; i < 10; ++i)
            QCOMPARE(found(p)[i], QStringLiteral("L%1: 100").arg(i + 1));
        // A wish that is not empty is replaced by its formalized value.
        QCOMPARE(
            SearchRun::Prepare(p, wish(field::Telephone, QStringLiteral(" ЕСТЬ")))[field::Telephone].text,
            QStringLiteral("80"));
    }

    void ordinalMismatchScores94()
    {
        Program p;
        p.InitAttributeNames();
        fill(p, 11);
        p.Knowledge.AttributeKinds[field::Stop] = kinds::Ordinal;
        QVERIFY(SearchRun::Run(p, wish(field::Stop, QStringLiteral("Вокзал")), {}));
        QCOMPARE(p.FoundList.size(), 10);
        for (const QString& s : found(p))
            QVERIFY(s.endsWith(QStringLiteral(": 94.1")));
        QCOMPARE(found(p).first(), QStringLiteral("L1: 94.1"));
        QCOMPARE(found(p).last(), QStringLiteral("L10: 94.1"));
    }

    void ordinalIgnoresCaseAndSpaces()
    {
        Program p;
        p.InitAttributeNames();
        p.Knowledge.AttributeKinds[field::Stop] = kinds::Ordinal;
        AddListing(p, {"A", {}, {}, {}, {}, {}, {}, {}, {}, QStringLiteral("  ВОКЗАЛ ")});
        AddListing(p, {"B", {}, {}, {}, {}, {}, {}, {}, {}, QStringLiteral("Рынок")});
        QVERIFY(SearchRun::Run(p, wish(field::Stop, QStringLiteral(" вокзал")), {}));
        QCOMPARE(found(p), (QStringList{"A: 100", "B: 94.1"}));
    }

    void perfectFirstThenBestThenTiesInOrder()
    {
        Program p;
        p.InitAttributeNames();
        KnowledgeBase& kb = p.Knowledge;
        kb.AttributeKinds[field::Price] = kinds::Numeric;
        kb.AttributeMin[field::Price] = 0;
        kb.AttributeMax[field::Price] = 1000;
        // Prices: 900 scores lower than 500 when 500 is wished; equal prices tie.
        const QStringList prices{"900", "500", "700", "700", "500", "-5000"};
        for (int i = 0; i < prices.size(); ++i)
            AddListing(p, {QStringLiteral("L%1").arg(i + 1), {}, {}, {}, {}, prices[i]});
        QVERIFY(SearchRun::Run(p, wish(field::Price, QStringLiteral("500")), {}));
        // 500 -> 100 (perfect, database order); 700 -> (1000-200)/1000*100 = 80
        // so So = (16*100+80)/17 = 98.8; 900 -> 60, So 97.6; -5000 scores -450,
        // So = (1600-450)/17 = 67.6, still positive.
        QCOMPARE(found(p),
                 (QStringList{"L2: 100", "L5: 100", "L3: 98.8", "L4: 98.8", "L1: 97.6", "L6: 67.6"}));
    }

    void negativeScoresAreNeverListed()
    {
        Program p;
        p.InitAttributeNames();
        KnowledgeBase& kb = p.Knowledge;
        for (field::Field k : field::AttributeFields)
            kb.AttributeKinds[k] = kinds::Numeric; // ranges 0..0: -100 per unit
        kb.AttributeMax[field::Rooms] = 10;
        AddListing(p, {"L1", "3"});
        AddListing(p, {"L2", "1"});
        QVERIFY(SearchRun::Run(p, wish(field::Rooms, QStringLiteral("1")), {}));
        // L1 is 2 rooms off over a range of 10: 80, So (1600 + 80) / 17.
        QCOMPARE(found(p), (QStringList{"L2: 100", "L1: 98.8"}));
        // Far off on every empty range: every score is negative, nothing is listed.
        SearchRun::Wishes far;
        for (const fieldinfo::WishBox& box : fieldinfo::WishBoxes)
            far[box.field] = QStringLiteral("100");
        QVERIFY(SearchRun::Run(p, far, {}));
        QVERIFY(p.FoundList.isEmpty());
        QVERIFY(p.Records.Items.Item(1)->So < 0);
    }

    void valueWishIsReplacedByItsScore()
    {
        Program p;
        p.InitAttributeNames();
        KnowledgeBase& kb = p.Knowledge;
        kb.AttributeKinds[field::HouseType] = kinds::ByValue;
        kb.AttributeValueLists[field::HouseType].Append(QStringLiteral("кирпичный"), QStringLiteral("80"));
        kb.AttributeValueLists[field::HouseType].Append(QStringLiteral("панельный"), QStringLiteral("40"));
        AddListing(p, {"K", {}, {}, QStringLiteral("кирпичный")});
        AddListing(p, {"P", {}, {}, QStringLiteral("панельный")});
        AddListing(p, {"X", {}, {}, QStringLiteral("монолит")});
        const auto prepared = SearchRun::Prepare(p, wish(field::HouseType, QStringLiteral("  КИРПИЧНЫЙ ")));
        QCOMPARE(prepared[field::HouseType].text, QStringLiteral("80"));
        QVERIFY(SearchRun::Run(p, wish(field::HouseType, QStringLiteral("  КИРПИЧНЫЙ ")), {}));
        // K: 100; P: 100-40 = 60; X: 0 -> 100-80 = 20.
        QCOMPARE(found(p), (QStringList{"K: 100", "P: 97.6", "X: 95.3"}));
        // A word that is no accepted value is no wish; a number is a score.
        QVERIFY(SearchRun::Run(p, wish(field::HouseType, QStringLiteral("дерево")), {}));
        QCOMPARE(found(p), (QStringList{"K: 100", "P: 100", "X: 100"}));
        QVERIFY(SearchRun::Run(p, wish(field::HouseType, QStringLiteral("0")), {}));
        QCOMPARE(found(p), (QStringList{"X: 100", "P: 97.6", "K: 95.3"}));
    }

    // A by-value attribute is scored by a scan of a short accepted list and by
    // the list's hash index beyond it (48 values in the run): both must agree.
    void byValueScoresAgreeOnBothPaths_data()
    {
        QTest::addColumn<QStringList>("values"); // value, formalized value, ...
        QTest::addColumn<QString>("field");
        QTest::addColumn<float>("expected"); // the attribute's score for the wish 70
        const QStringList centre{QStringLiteral("Центр"), QStringLiteral("70"), QStringLiteral("Заречье"),
                                 QStringLiteral("40")};
        QTest::newRow("exact match") << centre << QStringLiteral("Центр") << 100.0f;
        QTest::newRow("other value") << centre << QStringLiteral("Заречье") << 70.0f;
        QTest::newRow("not listed reads 0") << centre << QStringLiteral("Окраина") << 30.0f;
        QTest::newRow("letter case counts") << centre << QStringLiteral("центр") << 30.0f;
        QTest::newRow("spaces count") << centre << QStringLiteral("Центр ") << 30.0f;
        QTest::newRow("first occurrence wins") << QStringList{QStringLiteral("Центр"), QStringLiteral("70"),
                                                              QStringLiteral("Центр"), QStringLiteral("10")}
                                               << QStringLiteral("Центр") << 100.0f;
        QTest::newRow("empty accepted value")
            << QStringList{QString(), QStringLiteral("55")} << QString() << 85.0f;
        QTest::newRow("score read with Val") << QStringList{QStringLiteral("Центр"), QStringLiteral("45,5")}
                                             << QStringLiteral("Центр") << 75.0f;
        QTest::newRow("word score reads 0") << QStringList{QStringLiteral("Центр"), QStringLiteral("высокая")}
                                            << QStringLiteral("Центр") << 30.0f;
        QTest::newRow("score beyond single scores 0")
            << QStringList{QStringLiteral("Центр"), QStringLiteral("1e39")} << QStringLiteral("Центр")
            << 0.0f;
    }

    void byValueScoresAgreeOnBothPaths()
    {
        QFETCH(QStringList, values);
        QFETCH(QString, field);
        QFETCH(float, expected);
        const SearchRun::Wishes w = wish(field::District, QStringLiteral("70"));
        float so[2] = {};
        for (int padding : {0, 100}) {
            Program p;
            p.InitAttributeNames();
            KnowledgeBase& kb = p.Knowledge;
            kb.AttributeKinds[field::District] = kinds::ByValue;
            AttributeValueList& list = kb.AttributeValueLists[field::District];
            for (qsizetype i = 0; i + 1 < values.size(); i += 2)
                list.Append(values[i], values[i + 1]);
            for (int i = 1; i <= padding; ++i)
                list.Append(QStringLiteral("pad%1").arg(i), QStringLiteral("99"));
            const RecordPtr r = AddListingWith(p, field::District, field);
            QVERIFY(SearchRun::Run(p, w, {}));
            const Explanation x = SearchRun::Explain(p, *r, SearchRun::Prepare(p, w));
            QCOMPARE(x.attributes[field::District].score, expected);
            QCOMPARE(r->So, x.so);
            so[padding ? 1 : 0] = r->So;
        }
        QCOMPARE(so[1], so[0]);
        QCOMPARE(so[0], ((field::Attributes - 1) * 100.0f + expected) / float(field::Attributes));
    }

    // The scan goes on after a match and compares the rest with the replaced wish.
    void preparationScanContinuesAfterMatch()
    {
        Program p;
        p.InitAttributeNames();
        KnowledgeBase& kb = p.Knowledge;
        kb.AttributeKinds[field::District] = kinds::ByValue;
        kb.AttributeValueLists[field::District].Append(QStringLiteral("Центр"), QStringLiteral("70"));
        kb.AttributeValueLists[field::District].Append(QStringLiteral("70"), QStringLiteral("95"));
        QCOMPARE(SearchRun::Prepare(p, wish(field::District, QStringLiteral("центр")))[field::District].text,
                 QStringLiteral("95"));
    }

    void hugeNumbersScoreZeroAndTheRunGoesOn()
    {
        Program p;
        p.InitAttributeNames();
        p.Knowledge.AttributeKinds[field::Price] = kinds::Numeric;
        p.Knowledge.AttributeMax[field::Price] = 100;
        AddListing(p, {"Big", {}, {}, {}, {}, QStringLiteral("1e39")});
        AddListing(p, {"Fine", {}, {}, {}, {}, QStringLiteral("50")});
        QVERIFY(SearchRun::Run(p, wish(field::Price, QStringLiteral("50")), {}));
        QCOMPARE(found(p), (QStringList{"Fine: 100", "Big: 94.1"}));
        QVERIFY(SearchRun::Run(p, wish(field::Price, QStringLiteral("1e39")), {}));
        QCOMPARE(found(p), (QStringList{"Big: 94.1", "Fine: 94.1"}));
    }

    void fewerPositiveThanTen()
    {
        Program p;
        p.InitAttributeNames();
        p.Knowledge.AttributeKinds[field::District] = kinds::Ordinal;
        fill(p, 3);
        QVERIFY(SearchRun::Run(p, wish(field::District, QStringLiteral("L2")), {}));
        QCOMPARE(found(p), (QStringList{"L2: 100", "L1: 94.1", "L3: 94.1"}));
        // A second run with fewer results empties the list first.
        int refreshed = 0;
        SearchHooks hooks;
        hooks.refresh = [&] {
            ++refreshed;
            QVERIFY(p.FoundList.isEmpty());
        };
        p.Records.Items.Remove(3);
        p.Records.Items.Remove(1);
        QVERIFY(SearchRun::Run(p, wish(field::District, QStringLiteral("L2")), hooks));
        QCOMPARE(refreshed, 1);
        QCOMPARE(found(p), QStringList{"L2: 100"});
    }

    void progressOfEightListings()
    {
        Program p;
        p.InitAttributeNames();
        fill(p, 8);
        p.Knowledge.AttributeKinds[field::District] = kinds::Ordinal;
        QStringList texts;
        SearchHooks hooks;
        hooks.progress = [&](const QString& t) { texts << t; };
        QVERIFY(SearchRun::Run(p, wish(field::District, QStringLiteral("none")), hooks));
        QCOMPARE(texts, (QStringList{"Обработка данных ( 12%)...", "Обработка данных ( 25%)...",
                                     "Обработка данных ( 38%)...", "Обработка данных ( 50%)...",
                                     "Обработка данных ( 62%)...", "Обработка данных ( 75%)...",
                                     "Обработка данных ( 88%)...", "Обработка данных ( 100%)..."}));
    }

    void emptyDatabaseAndEmptyKnowledge()
    {
        Program p;
        p.InitAttributeNames();
        QStringList texts;
        SearchHooks hooks;
        hooks.progress = [&](const QString& t) { texts << t; };
        QVERIFY(SearchRun::Run(p, wish(field::District, QStringLiteral("x")), hooks));
        QVERIFY(p.FoundList.isEmpty());
        QVERIFY(texts.isEmpty());
        // Listings with an empty knowledge base: every wished attribute is
        // compared with 0 over 0..100.
        fill(p, 2);
        QVERIFY(SearchRun::Run(p, wish(field::Rooms, QStringLiteral("40")), {}));
        QCOMPARE(found(p), (QStringList{"L1: 97.6", "L2: 97.6"}));
    }

    void stopEndsAtTheNextYield()
    {
        Program p;
        p.InitAttributeNames();
        p.Knowledge.AttributeKinds[field::District] = kinds::Ordinal;
        fill(p, 5000);
        bool stop = false;
        SearchHooks hooks;
        hooks.yield = [&] { stop = true; };
        hooks.stopRequested = [&] { return stop; };
        QStringList texts;
        hooks.progress = [&](const QString& t) { texts << t; };
        QVERIFY(!SearchRun::Run(p, wish(field::District, QStringLiteral("L3")), hooks));
        QVERIFY(p.FoundList.isEmpty());
        QVERIFY(!p.Busy());
        QCOMPARE(texts.last(), QStringLiteral("Поиск остановлен: просмотрено 0 из 5000 записей."));
    }

    // A stop in the scoring pass ranks the listings scored until then.
    void stopWhileScoringRanksWhatWasScored()
    {
        Program p;
        p.InitAttributeNames();
        KnowledgeBase& kb = p.Knowledge;
        kb.AttributeKinds[field::Price] = kinds::Numeric;
        kb.AttributeMin[field::Price] = 0;
        kb.AttributeMax[field::Price] = 100;
        // Prices 1..30: the closer to 30, the better.
        for (int i = 1; i <= 30; ++i)
            AddListing(p, {QStringLiteral("L%1").arg(i), {}, {}, {}, {}, QString::number(i)});
        int checks = 0;
        SearchHooks hooks;
        // The first check comes before the scoring pass, then one per listing:
        // the 14th ends the pass before listing 13 is scored.
        hooks.stopRequested = [&] { return ++checks >= 14; };
        QStringList texts;
        hooks.progress = [&](const QString& t) { texts << t; };
        QVERIFY(!SearchRun::Run(p, wish(field::Price, QStringLiteral("30")), hooks));
        QCOMPARE(found(p), (QStringList{"L12: 98.9", "L11: 98.9", "L10: 98.8", "L9: 98.8", "L8: 98.7",
                                        "L7: 98.6", "L6: 98.6", "L5: 98.5", "L4: 98.5", "L3: 98.4"}));
        QCOMPARE(texts.last(), QStringLiteral("Поиск остановлен: просмотрено 12 из 30 записей."));
        QCOMPARE(p.Records.Items.Item(13)->So, 0.f);
        QVERIFY(!p.Records.Items.Item(13)->Finded);
        QVERIFY(p.Records.Items.Item(12)->Finded);
        QVERIFY(!p.Busy());
    }
};

QTEST_GUILESS_MAIN(TestSearchRun)
#include "tst_searchrun.moc"
