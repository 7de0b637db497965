// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "platform/Text.h"
#include "program/Program.h"
#include "search/PreparedWish.h"
#include "search/SearchRun.h"
#include "store/Fields.h"
#include "support/Fixtures.h"

#include <QProcess>
#include <QTest>

#include <clocale>
#include <cmath>

namespace {

using Note = PreparedWish::Note;

// A knowledge base with one attribute of every way a wish is read.
void buildKnowledge(KnowledgeBase& kb)
{
    kb.AttributeKinds[field::District] = kinds::ByValue;
    kb.AttributeValueLists[field::District].Append(QStringLiteral("Соборный"), QStringLiteral("90"));
    kb.AttributeValueLists[field::District].Append(QStringLiteral("Заречный"), QStringLiteral("40"));
    kb.AttributeValueLists[field::District].Append(QString(), QStringLiteral("0"));
    kb.AttributeKinds[field::Rooms] = kinds::Numeric;
    kb.AttributeKinds[field::Price] = kinds::Numeric;
    kb.AttributeKinds[field::TotalArea] = kinds::Numeric;
    kb.AttributeKinds[field::Address] = kinds::Ordinal;
    kb.AttributeKinds[field::StopDistance] = kinds::ByFormula;
    kb.AttributeFormulas[field::StopDistance] = QStringLiteral("100 - Расстояние до остановки / 20");
    // Its own attribute and another: no single unit.
    kb.AttributeKinds[field::KitchenArea] = kinds::ByFormula;
    kb.AttributeFormulas[field::KitchenArea] = QStringLiteral("Площадь кухни / Общая площадь * 100");
    // No attribute at all.
    kb.AttributeKinds[field::Telephone] = kinds::ByFormula;
    kb.AttributeFormulas[field::Telephone] = QStringLiteral("42");
    // Its own attribute only, and failing for every number.
    kb.AttributeKinds[field::Bathroom] = kinds::ByFormula;
    kb.AttributeFormulas[field::Bathroom] = QStringLiteral("1 / (Сан узел - Сан узел)");
}

} // namespace

class TestPreparedWish : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { std::setlocale(LC_ALL, "ru_RU.UTF-8"); }

    void preparation_data()
    {
        QTest::addColumn<int>("attribute");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("text"); // what is compared; empty when not scored
        QTest::addColumn<double>("number");
        QTest::addColumn<int>("note");
        QTest::addColumn<QString>("hint"); // exactly, or "*part" for a part of it

        const int sd = field::Index(field::StopDistance);
        QTest::newRow("empty") << int(field::Rooms) << QStringLiteral("   ") << QString() << 0.0
                               << int(Note::None) << QString();
        QTest::newRow("text match trimmed")
            << int(field::Address) << QStringLiteral(" ул. Мира ") << QStringLiteral("ул. Мира") << 0.0
            << int(Note::None) << QString();
        QTest::newRow("formula through its own attribute")
            << sd << QStringLiteral("500") << QStringLiteral("75") << 75.0 << int(Note::Formula)
            << QStringLiteral("«Расстояние до остоновки (м)»: 500 м → 75 из 100");
        QTest::newRow("formula wish with its unit")
            << sd << QStringLiteral(" 500 м") << QStringLiteral("75") << 75.0 << int(Note::Formula)
            << QStringLiteral("*500 м → 75");
        QTest::newRow("formula wish negative")
            << sd << QStringLiteral("-100") << QStringLiteral("105") << 105.0 << int(Note::Formula)
            << QStringLiteral("*-100 м → 105 из 100");
        QTest::newRow("formula wish without a number")
            << sd << QStringLiteral("близко") << QString() << 0.0 << int(Note::NoNumber)
            << QStringLiteral("«близко» — не число; пожелание «Расстояние до остоновки (м)» не учитывается.");
        QTest::newRow("formula failing for the wish")
            << int(field::Bathroom) << QStringLiteral("5") << QString() << 0.0 << int(Note::FormulaFailed)
            << QStringLiteral("*«Сан узел»: формула не вычисляется для 5");
        QTest::newRow("formula naming another attribute: as typed")
            << int(field::KitchenArea) << QStringLiteral("20") << QStringLiteral("20") << 20.0
            << int(Note::None) << QString();
        QTest::newRow("formula naming none: as typed")
            << int(field::Telephone) << QStringLiteral("60 ") << QStringLiteral("60") << 60.0
            << int(Note::None) << QString();
        QTest::newRow("accepted value, case and spaces aside")
            << int(field::District) << QStringLiteral(" СОБОРНЫЙ ") << QStringLiteral("90") << 90.0
            << int(Note::None) << QString();
        QTest::newRow("unknown value")
            << int(field::District) << QStringLiteral("Соборны") << QString() << 0.0
            << int(Note::UnknownValue)
            << QStringLiteral("«Соборны» нет среди значений «Район»; может быть, «Соборный»?");
        QTest::newRow("unknown value with digits")
            << int(field::District) << QStringLiteral("заречный5000") << QString() << 0.0
            << int(Note::UnknownValue) << QStringLiteral("*может быть, «Заречный»?");
        QTest::newRow("number in a value box")
            << int(field::District) << QStringLiteral("55,5") << QStringLiteral("55,5") << 55.0
            << int(Note::Scale)
            << QStringLiteral("«Район»: число 55 сравнивается с оценками значений по шкале 0–100.");
        QTest::newRow("Договорная")
            << int(field::Price) << QStringLiteral("Договорная") << QString() << 0.0 << int(Note::NoNumber)
            << QStringLiteral("«Договорная» — не число; пожелание «Цена (т.р) от» не учитывается.");
        QTest::newRow("60 м2") << int(field::TotalArea) << QStringLiteral("60 м2") << QStringLiteral("60 м2")
                               << 60.0 << int(Note::None) << QString();
        QTest::newRow("60,5") << int(field::TotalArea) << QStringLiteral("60,5") << QStringLiteral("60,5")
                              << 60.0 << int(Note::None) << QString();
        QTest::newRow("3 000") << int(field::Price) << QStringLiteral("3 000") << QStringLiteral("3 000")
                               << 3000.0 << int(Note::None) << QString();
    }

    void preparation()
    {
        QFETCH(int, attribute);
        QFETCH(QString, typed);
        QFETCH(QString, text);
        QFETCH(double, number);
        QFETCH(int, note);
        QFETCH(QString, hint);
        Program p;
        p.InitAttributeNames();
        buildKnowledge(p.Knowledge);
        const PreparedWish w = PrepareWish(p.Knowledge, p.Engine(), attribute, typed);
        QCOMPARE(w.typed, typed);
        QCOMPARE(w.text, text);
        QCOMPARE(w.scored, !text.isEmpty());
        if (w.scored && field::At(attribute) != field::Address) QCOMPARE(w.number, number);
        QCOMPARE(int(w.note), note);
        if (hint.startsWith(u'*'))
            QVERIFY2(w.hint.contains(hint.mid(1)), qPrintable(w.hint));
        else
            QCOMPARE(w.hint, hint);
        QCOMPARE(w.Ignored(), !typed.trimmed().isEmpty() && !w.scored);
    }

    // A wish that is not scored leaves the listings as if it were not there.
    void ignoredWishScoresLikeNoWish()
    {
        Program p;
        p.InitAttributeNames();
        buildKnowledge(p.Knowledge);
        for (const char* district : {"Соборный", "Заречный"})
            fixtures::AddListingWith(p, field::District, QString::fromUtf8(district));
        SearchRun::Wishes w;
        w[field::District] = QStringLiteral("Соборны");
        w[field::Price] = QStringLiteral("Договорная");
        QVERIFY(SearchRun::Run(p, w, {}));
        QCOMPARE(p.FoundList.size(), 2);
        for (const RecordPtr& r : p.FoundList)
            QCOMPARE(r->So, 100.0f);
    }

    // The sample data: what a new user types first gives a sensible top ten,
    // and the console tool says what it made of each wish.
    void sampleDataSearch()
    {
        const QString dir = QStringLiteral(VESTRANA_SOURCE_DIR "/data");
        Program p(dir);
        p.StartUp(true);
        SearchRun::Wishes w;
        w[field::District] = QStringLiteral("Соборны");
        w[field::Price] = QStringLiteral("Договорная");
        w[field::StopDistance] = QStringLiteral("500");
        PreparedWishes prepared;
        SearchHooks hooks;
        hooks.prepared = [&](const PreparedWishes& x) { prepared = x; };
        QVERIFY(SearchRun::Run(p, w, hooks));
        QCOMPARE(p.FoundList.size(), 10);
        // Only the distance counts, in metres: the best are close to 500 m.
        for (const RecordPtr& r : p.FoundList) {
            const double metres = text::Val(r->GetRecord(field::StopDistance));
            QVERIFY2(std::abs(metres - 500) <= 60, qPrintable(r->GetRecord(field::StopDistance)));
            QVERIFY(r->So > 99.0f);
        }
        QVERIFY(prepared[field::District].hint.contains(QStringLiteral("«Район»")));
        QCOMPARE(prepared[field::District].suggestion, QStringLiteral("Соборный"));
        QVERIFY(!prepared[field::Price].scored);
        QCOMPARE(prepared[field::StopDistance].text, QStringLiteral("75"));

        QProcess cli;
        cli.start(qEnvironmentVariable("VESTRANA_CLI"), {"--data-dir", dir, "search", "--wish", "0=Соборны",
                                                         "--wish", "5=Договорная", "--wish", "10=500"});
        QVERIFY(cli.waitForFinished(60000));
        QCOMPARE(cli.exitCode(), 0);
        const QStringList rows =
            QString::fromUtf8(cli.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(rows.size(), 10);
        QCOMPARE(rows.first().section(u'\t', -1), SearchRun::ScoreText(p.FoundList.first()->So));
        const QStringList hints =
            QString::fromUtf8(cli.readAllStandardError()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(hints, (QStringList{prepared[field::District].hint, prepared[field::Price].hint,
                                     prepared[field::StopDistance].hint}));
    }
};

QTEST_GUILESS_MAIN(TestPreparedWish)
#include "tst_preparedwish.moc"
