// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "knowledge/Formula.h"
#include "knowledge/Scoring.h"
#include "platform/Errors.h"
#include "program/Program.h"
#include "script/ScriptEngine.h"
#include "store/Fields.h"
#include "support/Fixtures.h"

#include <QTest>

#include <clocale>
#include <cmath>

using fixtures::AddListing;

class TestScoring : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { std::setlocale(LC_ALL, "ru_RU.UTF-8"); }

    void closeness_data()
    {
        QTest::addColumn<float>("a");
        QTest::addColumn<float>("v");
        QTest::addColumn<float>("lo");
        QTest::addColumn<float>("hi");
        QTest::addColumn<double>("expected");
        QTest::newRow("equal") << 5.f << 5.f << 0.f << 100.f << 100.0;
        QTest::newRow("half way") << 30.f << 80.f << 0.f << 100.f << 50.0;
        QTest::newRow("the whole range apart") << 0.f << 100.f << 0.f << 100.f << 0.0;
        QTest::newRow("beyond the range is negative") << 0.f << 150.f << 0.f << 100.f << -50.0;
        QTest::newRow("price over its range") << 1000.f << 1500.f << 700.f << 9500.f << 94.31818;
        QTest::newRow("bounds swapped") << 1000.f << 1500.f << 9500.f << 700.f << 94.31818;
        QTest::newRow("range never indexed") << 1000.f << 1500.f << 999999.f << -999999.f << 99.975;
        QTest::newRow("empty range, equal") << 5.f << 5.f << 7.f << 7.f << 0.0;
        QTest::newRow("empty range, one apart") << 5.f << 6.f << 7.f << 7.f << -100.0;
        QTest::newRow("negative numbers") << -20.f << -10.f << -50.f << 50.f << 90.0;
        QTest::newRow("formalized values") << 60.f << 80.f << 0.f << 100.f << 80.0;
    }
    void closeness()
    {
        QFETCH(float, a);
        QFETCH(float, v);
        QFETCH(float, lo);
        QFETCH(float, hi);
        QFETCH(double, expected);
        const float got = scoring::Closeness(a, v, lo, hi);
        QVERIFY2(std::fabs(got - expected) < 1e-4, qPrintable(QString::number(got, 'g', 9)));
    }

    void closenessOverflowIsAnError()
    {
        QVERIFY_THROWS_EXCEPTION(VestranaError, scoring::Closeness(-3e38f, 3e38f, 0, 100));
    }

    void formalizedValuePerKind()
    {
        Program p;
        p.InitAttributeNames();
        KnowledgeBase& kb = p.Knowledge;
        kb.AttributeKinds[field::HouseType] = kinds::ByValue;
        kb.AttributeValueLists[field::HouseType].Append(QStringLiteral("кирпичный"), QStringLiteral("80"));
        kb.AttributeValueLists[field::HouseType].Append(QStringLiteral("панельный"), QStringLiteral("40"));
        kb.AttributeValueLists[field::HouseType].Append(QStringLiteral("кирпичный"), QStringLiteral("10"));
        kb.AttributeValueLists[field::HouseType].Append(QStringLiteral("высокий"), QStringLiteral("high"));
        kb.AttributeKinds[field::TotalArea] = kinds::Numeric;
        kb.AttributeKinds[field::Price] = kinds::ByFormula;
        kb.AttributeFormulas[field::Price] = QStringLiteral("Цена/Общая площадь");
        kb.AttributeKinds[field::District] = QStringLiteral("числовой"); // not a kind: letter case counts
        const QStringList house{QStringLiteral("кирпичный"), QStringLiteral("Кирпичный"),
                                QStringLiteral("кирпичный "), QStringLiteral("монолит"),
                                QStringLiteral("высокий")};
        const QStringList area{QStringLiteral("50"), QStringLiteral("45.5"), QStringLiteral("45,5"),
                               QStringLiteral("0"), QStringLiteral("дог.")};
        for (int i = 0; i < house.size(); ++i)
            AddListing(p, {QStringLiteral("5"), {}, {}, house[i], {}, QStringLiteral("1500"), area[i]});
        // First occurrence wins; other case or spaces give 0; a non-number score reads as 0.
        QCOMPARE(p.FormalizedValue(field::HouseType, 1), 80.f);
        QCOMPARE(p.FormalizedValue(field::HouseType, 2), 0.f);
        QCOMPARE(p.FormalizedValue(field::HouseType, 3), 0.f);
        QCOMPARE(p.FormalizedValue(field::HouseType, 4), 0.f);
        QCOMPARE(p.FormalizedValue(field::HouseType, 5), 0.f);
        QCOMPARE(p.FormalizedValue(field::TotalArea, 2), 45.5f);
        QCOMPARE(p.FormalizedValue(field::TotalArea, 3), 45.f);
        QCOMPARE(p.FormalizedValue(field::Price, 1), 30.f);
        QCOMPARE(p.FormalizedValue(field::Price, 4), 0.f); // division by zero gives 0
        QCOMPARE(p.FormalizedValue(field::District, 1), 0.f);
        QCOMPARE(p.FormalizedValue(field::LivingArea, 1), 0.f); // empty kind
        QVERIFY_THROWS_EXCEPTION(VestranaError, p.FormalizedValue(field::At(field::Count), 1));
        QVERIFY_THROWS_EXCEPTION(VestranaError, p.FormalizedValue(field::TotalArea, 6));
    }

    void formula_data()
    {
        QTest::addColumn<QString>("formula");
        QTest::addColumn<QString>("price");
        QTest::addColumn<QString>("area");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<float>("value");
        QTest::newRow("no names") << "1+2+3"
                                  << "1500"
                                  << "50" << true << 6.f;
        QTest::newRow("price per metre") << "Цена/Общая площадь"
                                         << "1500"
                                         << "50" << true << 30.f;
        QTest::newRow("division by zero") << "Цена/Общая площадь"
                                          << "1500"
                                          << "0" << false << 0.f;
        QTest::newRow("empty price") << "Цена/Общая площадь"
                                     << ""
                                     << "50" << false << 0.f;
        QTest::newRow("comma decimal is a syntax error") << "Общая площадь*2"
                                                         << "1"
                                                         << "45,5" << false << 0.f;
        QTest::newRow("comparison true") << "Цена>1000"
                                         << "1500"
                                         << "1" << true << -1.f;
        QTest::newRow("comparison false") << "Цена>1000"
                                          << "900"
                                          << "1" << true << 0.f;
        QTest::newRow("other letter case is not replaced") << "цена>1000"
                                                           << "1500"
                                                           << "1" << false << 0.f;
        QTest::newRow("a word has no number") << "Цена"
                                              << "дог."
                                              << "1" << false << 0.f;
        QTest::newRow("too big for single") << "Цена*1E+300"
                                            << "1500"
                                            << "1" << false << 0.f;
    }
    void formula()
    {
        QFETCH(QString, formula);
        QFETCH(QString, price);
        QFETCH(QString, area);
        Program p;
        p.InitAttributeNames();
        const RecordPtr r = AddListing(p, {{}, {}, {}, {}, {}, price, area});
        bool ok = !QTest::currentDataTag();
        const float v = EvaluateFormula(*r, formula, ok, p.Knowledge, p.Engine());
        QTEST(ok, "ok");
        QTEST(v, "value");
    }

    // The names are replaced in index order on the growing text, so a price
    // holding the name of a later attribute has it replaced too.
    void substitutionRunsOnTheGrowingText()
    {
        Program p;
        p.InitAttributeNames();
        const RecordPtr r =
            AddListing(p, {{}, {}, {}, {}, {}, QStringLiteral("Общая площадь*2"), QStringLiteral("7")});
        bool ok = false;
        QCOMPARE(EvaluateFormula(*r, QStringLiteral("Цена"), ok, p.Knowledge, p.Engine()), 14.f);
        QVERIFY(ok);
    }

    // A misspelt attribute is left in the text; the message names the one meant.
    void misspeltAttributeIsSuggested()
    {
        Program p;
        p.InitAttributeNames();
        const RecordPtr r = AddListing(p, {{}, {}, {}, {}, {}, QStringLiteral("3000")});
        bool ok = true;
        QString error;
        EvaluateFormula(*r, QStringLiteral("Цна / 2"), ok, p.Knowledge, p.Engine(), &error);
        QVERIFY(!ok);
        QCOMPARE(error, QStringLiteral("Переменная не определена: Цна. Возможно, имелось в виду «Цена»?"));
    }

    // Every field holds six copies of the next attribute's name, so each
    // replacement multiplies the text by six: without a check after every
    // replacement the text would reach 6^17 copies before it is evaluated.
    void substitutionFailsOnceTheTextPassesTheLimit()
    {
        Program p;
        p.InitAttributeNames();
        const auto& names = p.Knowledge.AttributeNames;
        QStringList fields;
        for (int i = 0; i + 1 < KnowledgeBase::Attributes; ++i)
            fields << u'(' + QStringList(6, names[field::At(i + 1)]).join(u'+') + u')';
        fields << QStringLiteral("1");
        const RecordPtr r = AddListing(p, fields);
        bool ok = true;
        QString error;
        QCOMPARE(EvaluateFormula(*r, names[field::District], ok, p.Knowledge, p.Engine(), &error), 0.f);
        QVERIFY(!ok);
        QCOMPARE(error, ScriptEngine::TooLongText());
    }

    void substitutionUpToTheLimit_data()
    {
        QTest::addColumn<qsizetype>("length");
        QTest::addColumn<bool>("ok");
        QTest::newRow("at the limit") << ScriptEngine::MaxLength << true;
        QTest::newRow("one past the limit") << ScriptEngine::MaxLength + 1 << false;
    }
    void substitutionUpToTheLimit()
    {
        QFETCH(qsizetype, length);
        Program p;
        p.InitAttributeNames();
        // "Цена*1" with a price of "1" padded by blanks to the length wanted.
        const QString price = u'1' + QString(length - 3, u' ');
        const RecordPtr r = AddListing(p, {{}, {}, {}, {}, {}, price});
        bool ok = !QTest::currentDataTag();
        const float v = EvaluateFormula(*r, QStringLiteral("Цена*1"), ok, p.Knowledge, p.Engine());
        QTEST(ok, "ok");
        QCOMPARE(v, ok ? 1.f : 0.f);
    }
};

QTEST_GUILESS_MAIN(TestScoring)
#include "tst_scoring.moc"
