// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "knowledge/Formula.h"
#include "knowledge/KnowledgeBase.h"
#include "knowledge/Scoring.h"
#include "program/Program.h"
#include "search/SearchRun.h"
#include "store/Fields.h"
#include "support/Fixtures.h"

#include <QTest>

#include <bit>
#include <clocale>
#include <cstdint>
#include <random>

namespace {

// Attributes of the fixture by kind: District by value, Rooms numeric 1..5,
// HouseType ordinal, TotalArea numeric with a huge number in the listing,
// StopDistance by formula, Telephone by a formula that fails.

// One program with one listing covering the four kinds.
void buildFixture(Program& p)
{
    p.InitAttributeNames();
    KnowledgeBase& kb = p.Knowledge;
    kb.AttributeKinds[field::District] = kinds::ByValue;
    kb.AttributeValueLists[field::District].Append(QStringLiteral("Соборный"), QStringLiteral("70"));
    kb.AttributeValueLists[field::District].Append(QStringLiteral("Старый Город"), QStringLiteral("85"));
    kb.AttributeKinds[field::Rooms] = kinds::Numeric;
    kb.AttributeMin[field::Rooms] = 1;
    kb.AttributeMax[field::Rooms] = 5;
    kb.AttributeKinds[field::HouseType] = kinds::Ordinal;
    kb.AttributeKinds[field::TotalArea] = kinds::Numeric;
    kb.AttributeMin[field::TotalArea] = 0;
    kb.AttributeMax[field::TotalArea] = 100;
    kb.AttributeKinds[field::StopDistance] = kinds::ByFormula;
    kb.AttributeFormulas[field::StopDistance] = QStringLiteral("Расстояние до остановки / 10");
    kb.AttributeKinds[field::Telephone] = kinds::ByFormula;
    kb.AttributeFormulas[field::Telephone] = QStringLiteral("1 / 0");
    const RecordPtr r = fixtures::AddListing(p, {});
    r->SetRecord(field::District, QStringLiteral("Старый Город"));
    r->SetRecord(field::Rooms, QStringLiteral("3"));
    r->SetRecord(field::HouseType, QStringLiteral("Кирпичный"));
    r->SetRecord(field::TotalArea, QStringLiteral("1E+39"));
    r->SetRecord(field::StopDistance, QStringLiteral("500"));
    r->SetRecord(field::Telephone, QStringLiteral("есть"));
}

quint32 bits(float f)
{
    return std::bit_cast<quint32>(f);
}

} // namespace

class TestExplanation : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { std::setlocale(LC_ALL, "ru_RU.UTF-8"); }

    // One wish at a time; the other attributes have none and score 100.
    void rules_data()
    {
        QTest::addColumn<int>("attribute");
        QTest::addColumn<QString>("wish");
        QTest::addColumn<QString>("prepared");
        QTest::addColumn<bool>("hasValue");
        QTest::addColumn<float>("value");
        QTest::addColumn<float>("lo");
        QTest::addColumn<float>("hi");
        QTest::addColumn<float>("score");
        QTest::addColumn<QString>("failure"); // the start of the failure text, or empty

        QTest::newRow("empty wish") << int(field::Rooms) << QString() << QString() << false << 0.f << 0.f
                                    << 0.f << 100.f << QString();
        QTest::newRow("ordinal match")
            << int(field::HouseType) << QStringLiteral(" кирпичный ") << QStringLiteral("кирпичный") << false
            << 0.f << 0.f << 0.f << 100.f << QString();
        QTest::newRow("ordinal miss")
            << int(field::HouseType) << QStringLiteral("панельный") << QStringLiteral("панельный") << false
            << 0.f << 0.f << 0.f << 0.f << QString();
        QTest::newRow("numeric") << int(field::Rooms) << QStringLiteral("2") << QStringLiteral("2") << true
                                 << 3.f << 1.f << 5.f << 75.f << QString();
        QTest::newRow("numeric far off goes negative")
            << int(field::Rooms) << QStringLiteral("12") << QStringLiteral("12") << true << 3.f << 1.f << 5.f
            << -125.f << QString();
        QTest::newRow("by value replaced")
            << int(field::District) << QStringLiteral("соборный ") << QStringLiteral("70") << true << 85.f
            << 0.f << 100.f << 85.f << QString();
        QTest::newRow("by value, a number on the scale")
            << int(field::District) << QStringLiteral("15") << QStringLiteral("15") << true << 85.f << 0.f
            << 100.f << 30.f << QString();
        QTest::newRow("by value, unknown value is no wish")
            << int(field::District) << QStringLiteral("Заречный") << QString() << false << 0.f << 0.f << 0.f
            << 100.f << QString();
        // The formula names only its own attribute: the wish is in metres.
        QTest::newRow("formula ok") << int(field::StopDistance) << QStringLiteral("600 м")
                                    << QStringLiteral("60") << true << 50.f << 0.f << 100.f << 90.f
                                    << QString();
        QTest::newRow("formula fails")
            << int(field::Telephone) << QStringLiteral("100") << QStringLiteral("100") << true << 0.f << 0.f
            << 100.f << 0.f << QStringLiteral("Формула не вычислена: ");
        QTest::newRow("listing number beyond single")
            << int(field::TotalArea) << QStringLiteral("50") << QStringLiteral("50") << false << 0.f << 0.f
            << 100.f << 0.f << QStringLiteral("Переполнение");
        QTest::newRow("wish beyond single")
            << int(field::Rooms) << QStringLiteral("1E+40") << QStringLiteral("1E+40") << false << 0.f << 1.f
            << 5.f << 0.f << QStringLiteral("Пожелание");
    }
    void rules()
    {
        QFETCH(int, attribute);
        QFETCH(QString, wish);
        QFETCH(QString, prepared);
        QFETCH(bool, hasValue);
        QFETCH(float, value);
        QFETCH(float, lo);
        QFETCH(float, hi);
        QFETCH(float, score);
        QFETCH(QString, failure);

        Program p;
        buildFixture(p);
        SearchRun::Wishes typed;
        typed[field::At(attribute)] = wish;
        const PreparedWishes ready = SearchRun::Prepare(p, typed);
        QCOMPARE(ready[field::At(attribute)].text, prepared);
        QVERIFY(SearchRun::Run(p, typed, {}));
        const RecordPtr r = p.Records.Items.Item(1);
        const Explanation x = SearchRun::Explain(p, *r, ready);

        const AttributeExplanation& e = x.attributes[field::At(attribute)];
        QCOMPARE(e.attribute, attribute);
        QCOMPARE(e.name, p.Knowledge.AttributeNames[field::At(attribute)]);
        QCOMPARE(e.kind, p.Knowledge.AttributeKinds[field::At(attribute)]);
        QCOMPARE(e.wish, wish);
        QCOMPARE(e.prepared, prepared);
        QCOMPARE(e.field, r->GetRecord(field::At(attribute)));
        QCOMPARE(e.hasValue, hasValue);
        if (hasValue) QCOMPARE(e.value, value);
        QCOMPARE(e.hasRange, !prepared.isEmpty() && field::At(attribute) != field::HouseType);
        if (e.hasRange) {
            QCOMPARE(e.lo, lo);
            QCOMPARE(e.hi, hi);
        }
        QCOMPARE(e.score, score);
        QCOMPARE(e.lost, 100.f - score);
        if (failure.isEmpty())
            QVERIFY2(e.failure.isEmpty(), qPrintable(e.failure));
        else
            QVERIFY2(e.failure.startsWith(failure) && e.failure.size() > failure.size(),
                     qPrintable(e.failure));
        QCOMPARE(e.formulaFailed, field::At(attribute) == field::Telephone);
        for (const AttributeExplanation& other : x.attributes)
            if (other.attribute != attribute) QCOMPARE(other.score, 100.f);
        QCOMPARE(bits(x.so), bits(r->So));
    }

    // The engine's own reason is passed on.
    void failingFormulaGivesTheEnginesReason()
    {
        Program p;
        buildFixture(p);
        SearchRun::Wishes w;
        w[field::Telephone] = QStringLiteral("5");
        bool ok = true;
        QString reason;
        EvaluateFormula(*p.Records.Items.Item(1), p.Knowledge.AttributeFormulas[field::Telephone], ok,
                        p.Knowledge, p.Engine(), &reason);
        QVERIFY(!ok && !reason.isEmpty());
        const Explanation x = SearchRun::Explain(p, *p.Records.Items.Item(1), SearchRun::Prepare(p, w));
        QCOMPARE(x.attributes[field::Telephone].failure, QStringLiteral("Формула не вычислена: ") + reason);
    }

    // Random knowledge, listings and wishes: every result's explanation sums to
    // its score bit for bit.
    void scoresReproduceTheMatch()
    {
        std::mt19937 rng(20261210);
        auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
        const QStringList words = {QStringLiteral("Соборный"),  QStringLiteral("Старый Город"),
                                   QStringLiteral("кирпичный"), QStringLiteral("Панельный"),
                                   QStringLiteral("есть"),      QString(),
                                   QStringLiteral("12abc"),     QStringLiteral("1E+39")};
        auto fieldText = [&]() -> QString {
            switch (pick(4)) {
            case 0:
                return words[pick(static_cast<int>(words.size()))];
            case 1:
                return QString::number(pick(200));
            case 2:
                return QString::number(double(pick(100000)) / 7.0, 'g', 9);
            default:
                return QStringLiteral("v%1").arg(pick(60));
            }
        };
        int checked = 0;
        for (int round = 0; round < 12; ++round) {
            Program p;
            p.InitAttributeNames();
            p.MaxFound = 1000; // every listing is ranked, none is left unscored
            KnowledgeBase& kb = p.Knowledge;
            const QString kindList[] = {kinds::Numeric, kinds::Ordinal, kinds::ByValue, kinds::ByFormula,
                                        QStringLiteral("Прочее")};
            for (int k = 0; k < KnowledgeBase::Attributes; ++k) {
                const field::Field ks = field::At(k);
                kb.AttributeKinds[ks] = kindList[pick(5)];
                kb.AttributeMin[ks] = static_cast<float>(pick(50)) / 3.0f;
                kb.AttributeMax[ks] = kb.AttributeMin[ks] + static_cast<float>(pick(300)) / 7.0f;
                // Both the short scanned list and the hashed long one.
                const int values = pick(2) ? pick(10) : 60 + pick(20);
                for (int v = 0; v < values; ++v)
                    kb.AttributeValueLists[ks].Append(
                        v < 60 ? QStringLiteral("v%1").arg(v) : words[v % words.size()],
                        pick(9) ? QString::number(pick(1000) / 9.0, 'g', 8) : QStringLiteral("1E+39"));
                const QString formulas[] = {QStringLiteral("Этаж * 3 + 1"),
                                            QStringLiteral("Len(\"Адрес\") / 3"), QStringLiteral("Кухня + 1"),
                                            QStringLiteral("1 / 0")};
                kb.AttributeFormulas[ks] = formulas[pick(4)];
            }
            for (int i = 0; i < 150; ++i) {
                QStringList fields;
                for (int k = 0; k < field::Attributes; ++k)
                    fields << fieldText();
                fixtures::AddListing(p, fields);
            }
            for (int set = 0; set < 5; ++set) {
                SearchRun::Wishes typed;
                for (int k = 0; k <= field::Index(fieldinfo::LastWished); ++k)
                    if (pick(3) != 0) typed[field::At(k)] = fieldText();
                PreparedWishes prepared;
                SearchHooks hooks;
                hooks.prepared = [&](const PreparedWishes& w) { prepared = w; };
                QVERIFY(SearchRun::Run(p, typed, hooks));
                // Every listing, also those with a score too low to be ranked.
                for (int i = 1; i <= p.Records.Items.Count(); ++i) {
                    const RecordPtr r = p.Records.Items.Item(i);
                    const Explanation x = SearchRun::Explain(p, *r, prepared);
                    float sum = 0;
                    for (const AttributeExplanation& e : x.attributes)
                        sum += e.score;
                    QCOMPARE(bits(sum / 17.0f), bits(r->So));
                    QCOMPARE(bits(x.so), bits(r->So));
                    ++checked;
                }
            }
        }
        QCOMPARE(checked, 12 * 5 * 150);
    }

    // Quoted: what holds the separator, a quote or a line break; numbers
    // without the blanks around them, whichever separator.
    void csvQuotesWhatNeedsIt_data()
    {
        QTest::addColumn<QChar>("separator");
        QTest::addColumn<QString>("row");
        QTest::newRow(";")
            << QChar(u';')
            << QStringLiteral("a,b;\"x\"\"\";2;\"1;5\";\"ул. \"\"Садовая\"\"\nд. 1\";1500;;;;;;;;;;;;94.8");
        QTest::newRow(",")
            << QChar(u',')
            << QStringLiteral("\"a,b\",\"x\"\"\",2,1;5,\"ул. \"\"Садовая\"\"\nд. 1\",1500,,,,,,,,,,,,94.8");
    }
    void csvQuotesWhatNeedsIt()
    {
        QFETCH(QChar, separator);
        QFETCH(QString, row);
        Program p;
        p.InitAttributeNames();
        auto r = fixtures::AddListing(p, {});
        r->SetRecord(field::District, QStringLiteral("a,b"));
        r->SetRecord(field::Rooms, QStringLiteral("x\""));
        r->SetRecord(field::Floor, QStringLiteral(" 2 "));
        r->SetRecord(field::HouseType, QStringLiteral("1;5"));
        r->SetRecord(field::Address, QStringLiteral("ул. \"Садовая\"\nд. 1"));
        r->SetRecord(field::Price, QStringLiteral(" 1500"));
        r->So = 94.8f;
        const QString csv = SearchRun::Csv(p, {r}, separator);
        const QStringList lines = csv.split(QStringLiteral("\r\n"));
        QCOMPARE(lines.size(), 3); // header, one row, the empty rest after the last CRLF
        QVERIFY(lines[0].startsWith(p.Knowledge.AttributeNames[field::District] + separator));
        QVERIFY(lines[0].endsWith(separator + QStringLiteral("% совпадения")));
        QCOMPARE(lines[1], row);
    }
};

QTEST_GUILESS_MAIN(TestExplanation)
#include "tst_explanation.moc"
