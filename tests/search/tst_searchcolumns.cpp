// The search reads columns kept between searches; every result must be the one
// the straightforward scoring of every listing gives, whatever changed in
// between. Random wishes and random edits over a generated market.
#include "platform/Random.h"
#include "platform/ScriptEngine.h"
#include "platform/Text.h"
#include "program/Program.h"
#include "sample/ListingGenerator.h"
#include "search/SearchRun.h"
#include "store/Fields.h"

#include <QTest>

#include <clocale>
#include <cstring>

namespace {

quint32 bits(float f)
{
    quint32 b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

// FoundList as the straightforward scoring orders it: the perfect scores in
// order until MaxFound (the later listings then keep 0), then the best positive
// scores, lower positions first on ties. `so` becomes every listing's So.
QList<int> expectedFound(const Program& p, std::vector<float>& so)
{
    const int n = static_cast<int>(so.size());
    QList<int> found;
    for (int i = 0; i < n; ++i) {
        if (so[static_cast<size_t>(i)] == 100.0f) {
            found << i;
            if (found.size() >= p.MaxFound) {
                for (int j = i + 1; j < n; ++j)
                    so[static_cast<size_t>(j)] = 0;
                return found;
            }
        }
    }
    std::vector<int> rest;
    for (int i = 0; i < n; ++i)
        if (so[static_cast<size_t>(i)] > 0 && so[static_cast<size_t>(i)] != 100.0f) rest.push_back(i);
    std::stable_sort(rest.begin(), rest.end(),
                     [&](int a, int b) { return so[static_cast<size_t>(a)] > so[static_cast<size_t>(b)]; });
    for (int i : rest) {
        if (found.size() >= p.MaxFound) break;
        found << i;
    }
    return found;
}

const QStringList kFormulas = {
    QStringLiteral("100 - Расстояние до остановки / 20"), QStringLiteral("Цена / Общая площадь"),
    QStringLiteral("Len(\"Адрес\") + Комнат"),
    // Reads the clock: evaluated again whenever the clock moves.
    QStringLiteral("DateDiff(\"d\", CDate(\"Дата\"), Date) / 10"),
    QStringLiteral("1 / (Этаж - Этаж)"), // fails: every listing gets 0
    QStringLiteral("1E+39 * Комнат"),    // beyond single precision: fails too
};

struct Market
{
    Program p;
    RandomSource random{77};

    explicit Market(int count)
    {
        sample::BuildSampleMarket(p, static_cast<quint64>(count), 11);
        p.Engine().SetClock(QDateTime(QDate(2026, 12, 1), QTime(12, 0)));
    }

    int pick(int n) { return random.Pick(n) - 1; } // 0 to n - 1
    const RecordPtr& any() { return p.Records.Items.at(pick(p.Records.Items.Count())); }

    // A wish for attribute k: a field of some listing (often an accepted value
    // or a text match), the same in other letter case and spaces, a number, a
    // number beyond single precision, or a word.
    QString wishFor(int k)
    {
        switch (pick(7)) {
        case 0:
        case 1:
            return QString();
        case 2:
            return any()->GetRecord(k);
        case 3:
            return QStringLiteral("  ") + any()->GetRecord(k).toUpper() + QStringLiteral(" ");
        case 4:
            return QString::number(pick(200) - 20);
        case 5:
            return QStringLiteral("1e39");
        default:
            return QStringLiteral("слово");
        }
    }

    SearchRun::Wishes wishes()
    {
        SearchRun::Wishes w;
        for (int k = 0; k <= fieldinfo::LastWished; ++k)
            w[static_cast<size_t>(k)] = wishFor(k);
        return w;
    }

    // One random change of the kind a user, an import or the expert makes.
    QString edit()
    {
        RecordList& items = p.Records.Items;
        KnowledgeBase& kb = p.Knowledge;
        const int k = pick(KnowledgeBase::Attributes);
        const auto ks = static_cast<size_t>(k);
        switch (pick(12)) {
        case 0: {
            const RecordPtr& r = any();
            r->SetRecord(k, any()->GetRecord(k));
            return QStringLiteral("field %1 copied").arg(k);
        }
        case 1: {
            any()->SetRecord(k, pick(2) ? QStringLiteral("1e40") : kb.AttributeNames[ks]);
            return QStringLiteral("field %1 odd").arg(k);
        }
        case 2: {
            auto r = std::make_shared<Record>(*any());
            r->SetRecord(field::Price, QString::number(pick(9000)));
            items.Add(r);
            return QStringLiteral("listing added");
        }
        case 3:
            items.Remove(pick(items.Count()) + 1);
            return QStringLiteral("listing removed");
        case 4:
            // The same object with another listing's fields.
            *any() = *any();
            return QStringLiteral("listing overwritten");
        case 5:
            kb.AttributeFormulas[field::StopDistance] = kFormulas[pick(int(kFormulas.size()))];
            return QStringLiteral("formula changed");
        case 6: {
            AttributeValueList& list = kb.AttributeValueLists[ks];
            if (list.Count() == 0) return QStringLiteral("nothing");
            list.SetScore(pick(list.Count()) + 1,
                          pick(5) ? QString::number(pick(100)) : QStringLiteral("1e39"));
            return QStringLiteral("formalized value %1 changed").arg(k);
        }
        case 7: {
            static const QList<Kind> kindsToTry = {Kind::Numeric, Kind::Ordinal, Kind::ByValue, Kind::Other};
            if (k == field::StopDistance) return QStringLiteral("nothing");
            kb.AttributeKinds[ks] = kinds::TextOf(kindsToTry[pick(int(kindsToTry.size()))]);
            return QStringLiteral("kind %1 changed").arg(k);
        }
        case 8:
            kb.AttributeNames[field::Price] = kb.AttributeNames[field::Price] == QStringLiteral("Цена")
                                                  ? QStringLiteral("Стоимость")
                                                  : QStringLiteral("Цена");
            return QStringLiteral("attribute renamed");
        case 9:
            p.Engine().SetClock(QDateTime(QDate(2026, 12, 1 + pick(20)), QTime(12, 0)));
            return QStringLiteral("clock moved");
        case 10:
            kb.AttributeValueLists[ks].Append(any()->GetRecord(k), QString::number(pick(100)));
            return QStringLiteral("accepted value %1 added").arg(k);
        default: {
            // Everything again, as a reload does.
            std::vector<RecordPtr> copies;
            for (const RecordPtr& r : items)
                copies.push_back(std::make_shared<Record>(*r));
            items.Clear();
            for (RecordPtr& r : copies)
                items.Add(std::move(r));
            return QStringLiteral("collection reloaded");
        }
        }
    }

    // Runs one search and checks it against the straightforward scoring.
    void check(const SearchRun::Wishes& w, const QString& what)
    {
        std::vector<float> so = SearchRun::StraightScores(p, SearchRun::Prepare(p, w));
        const QList<int> expected = expectedFound(p, so);
        QVERIFY2(SearchRun::Run(p, w, {}), qPrintable(what));
        QList<int> got;
        for (const RecordPtr& r : p.FoundList)
            for (int i = 0; i < p.Records.Items.Count(); ++i)
                if (p.Records.Items.at(i) == r) got << i;
        QVERIFY2(got == expected, qPrintable(what));
        for (int i = 0; i < p.Records.Items.Count(); ++i)
            QVERIFY2(bits(p.Records.Items.at(i)->So) == bits(so[static_cast<size_t>(i)]),
                     qPrintable(QStringLiteral("%1: listing %2").arg(what).arg(i)));
    }
};

} // namespace

class TestSearchColumns : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { std::setlocale(LC_ALL, "ru_RU.UTF-8"); }

    // Larger than one step of the pass (32768 listings), and split over both cores.
    void randomWishesAndEditsAgreeWithStraightScoring()
    {
        Market m(33000);
        for (int round = 0; round < 24; ++round) {
            QString what = QStringLiteral("round %1:").arg(round);
            for (int e = m.pick(4); e > 0; --e)
                what += QLatin1Char(' ') + m.edit();
            m.check(m.wishes(), what);
            if (QTest::currentTestFailed()) return;
        }
    }

    // A stopped search leaves the columns half built; the next one goes on.
    void aStoppedSearchLeavesNothingStale()
    {
        Market m(33000);
        SearchRun::Wishes w = m.wishes();
        w[field::StopDistance] = QStringLiteral("90");
        for (int round = 0; round < 6; ++round) {
            int checks = 0;
            SearchHooks hooks;
            const int stopAt = 1 + m.pick(33000);
            hooks.stopRequested = [&] { return ++checks >= stopAt; };
            (void)SearchRun::Run(m.p, w, hooks);
            const QString what = QStringLiteral("after a stop at %1: %2").arg(stopAt).arg(m.edit());
            m.check(w, what);
            if (QTest::currentTestFailed()) return;
        }
    }

    // The hash a text match reads agrees with text::Folded.
    void foldedHashIsTheHashOfTheFoldedText_data()
    {
        QTest::addColumn<QString>("field");
        QTest::newRow("plain") << "Рынок";
        QTest::newRow("case and spaces") << "  рЫНОК ";
        QTest::newRow("Latin") << "Lenina St";
        QTest::newRow("beyond Cyrillic") << "ΣΊΣΥΦΟΣ";
        QTest::newRow("dotted capital I") << "İstanbul";
        QTest::newRow("empty") << "";
        QTest::newRow("tabs stay") << "\tрынок";
    }
    void foldedHashIsTheHashOfTheFoldedText()
    {
        QFETCH(QString, field);
        QCOMPARE(ScoreColumns::FoldedHash(field), ScoreColumns::HashOfFolded(text::Folded(field)));
    }
};

QTEST_GUILESS_MAIN(TestSearchColumns)
#include "tst_searchcolumns.moc"
