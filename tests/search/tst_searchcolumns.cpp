// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
// The search reads columns kept between searches; every result must be the one
// the straightforward scoring of every listing gives, whatever changed in
// between. Random wishes and random edits over a generated market.
#include "knowledge/Scoring.h"
#include "platform/Errors.h"
#include "platform/Random.h"
#include "platform/Text.h"
#include "program/Program.h"
#include "sample/ListingGenerator.h"
#include "script/ScriptEngine.h"
#include "search/SearchRun.h"
#include "store/Fields.h"
#include "store/Records.h"

#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
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
        p.MaxFound = 10; // as a start sets it
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
            return any()->GetRecord(field::At(k));
        case 3:
            return QStringLiteral("  ") + any()->GetRecord(field::At(k)).toUpper() + QStringLiteral(" ");
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
        for (int k = 0; k <= field::Index(fieldinfo::LastWished); ++k)
            w[field::At(k)] = wishFor(k);
        return w;
    }

    // One random change of the kind a user, an import or the expert makes.
    QString edit()
    {
        RecordList& items = p.Records.Items;
        KnowledgeBase& kb = p.Knowledge;
        const int k = pick(KnowledgeBase::Attributes);
        const field::Field ks = field::At(k);
        switch (pick(12)) {
        case 0: {
            const RecordPtr& r = any();
            r->SetRecord(ks, any()->GetRecord(ks));
            return QStringLiteral("field %1 copied").arg(k);
        }
        case 1: {
            any()->SetRecord(ks, pick(2) ? QStringLiteral("1e40") : kb.AttributeNames[ks]);
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
            // Every kind there is; the distance keeps its formula, which the edits change.
            if (ks == field::StopDistance) return QStringLiteral("nothing");
            kb.AttributeKinds[ks] = kinds::TextOf(kinds::Table[pick(kinds::Count)].kind);
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
            kb.AttributeValueLists[ks].Append(any()->GetRecord(ks), QString::number(pick(100)));
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

    // The search over the file at rest (each listing read, scored and
    // dropped) gives what the search over the loaded listings gives: the same
    // listings in the same order with the same So, in blocks of a few dozen
    // lines on one thread and on two; and a bad line stops it with the error
    // loading gives.
    void searchOverTheFileAtRestAgreesWithTheLoadedSearch()
    {
        LoadOptions options;
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("database.txt"));
        Market m(6000);
        const auto compare = [&](const SearchRun::Wishes& w, const QString& what) {
            m.p.Records.SaveToFile(path, {}, options);
            QVERIFY2(SearchRun::Run(m.p, w, {}), qPrintable(what));
            Program atRest(dir.path());
            atRest.InitAttributeNames();
            atRest.Knowledge = m.p.Knowledge;
            atRest.MaxFound = m.p.MaxFound;
            atRest.Engine().SetClock(m.p.Engine().Clock());
            PreparedWishes prepared;
            SearchHooks hooks;
            hooks.prepared = [&](const PreparedWishes& x) { prepared = x; };
            SearchRun::RunOverFile(atRest, w, path, hooks, options);
            QCOMPARE(PreparedTexts(prepared), PreparedTexts(SearchRun::Prepare(m.p, w)));
            QCOMPARE(atRest.Records.Items.Count(), 0);
            QVERIFY2(atRest.FoundList.size() == m.p.FoundList.size(), qPrintable(what));
            for (qsizetype i = 0; i < m.p.FoundList.size(); ++i) {
                const Record& want = *m.p.FoundList[i];
                const Record& got = *atRest.FoundList[i];
                QVERIFY2(bits(got.So) == bits(want.So) && got.Finded,
                         qPrintable(QStringLiteral("%1 entry %2").arg(what).arg(i)));
                for (int k = 0; k < field::Count; ++k)
                    QVERIFY2(got.GetRecord(field::At(k)) == want.GetRecord(field::At(k)),
                             qPrintable(QStringLiteral("%1 entry %2 field %3").arg(what).arg(i).arg(k)));
            }
        };

        // Copies of one listing: three exact ones spread over the file, and a
        // run of 64 with a price one higher (equal scores below 100), longer
        // than a block of the scan: the perfect ones in file order, then the
        // first seven of the others by position, however the blocks and their
        // halves cut the file.
        {
            RecordList& items = m.p.Records.Items;
            const int j = 3;
            SearchRun::Wishes exact;
            for (field::Field k : field::AttributeFields)
                if (k <= fieldinfo::LastWished && k != field::StopDistance)
                    exact[k] = items.at(j)->GetRecord(k);
            for (int pos : {2500, 4000})
                *items.at(pos) = *items.at(j);
            const QString higher = QString::number(text::Val(items.at(j)->GetRecord(field::Price)) + 1);
            for (int pos = 1200; pos < 1264; ++pos) {
                *items.at(pos) = *items.at(j);
                items.at(pos)->SetRecord(field::Price, higher);
                // Unwished, so the score stays; it tells the copies apart.
                items.at(pos)->SetRecord(field::Description, QStringLiteral("копия %1").arg(pos));
            }
            for (int threads : {1, 2}) {
                options.threads = threads;
                options.blockBytes = 1 << 14;
                compare(exact, QStringLiteral("copies, %1 threads").arg(threads));
                QCOMPARE(m.p.FoundList.size(), qsizetype(10));
                QCOMPARE(m.p.FoundList[2], items.at(4000));
                QCOMPARE(m.p.FoundList[9], items.at(1206));
                if (QTest::currentTestFailed()) return;
            }
        }

        for (int round = 0; round < 16; ++round) {
            options.threads = 1 + round % 2;
            options.blockBytes = round % 4 < 2 ? (1 << 14) : (4 << 20);
            QString what = QStringLiteral("round %1:").arg(round);
            for (int e = m.pick(4); e > 0; --e)
                what += QLatin1Char(' ') + m.edit();
            m.p.MaxFound = round % 5 == 4 ? 0 : 10; // 0: the pass still takes one perfect score
            // Round 0 wishes nothing: every listing scores 100.
            compare(round == 0 ? SearchRun::Wishes() : m.wishes(), what);
            if (round == 0) QCOMPARE(m.p.FoundList.size(), qsizetype(10));
            if (QTest::currentTestFailed()) return;
        }

        QFile file(path);
        QVERIFY(file.open(QIODevice::Append));
        file.write("a|b|c\r\n");
        file.close();
        QString loadError;
        try {
            Records().LoadFromFile(path, false);
        } catch (const VestranaError& e) {
            loadError = e.message();
        }
        QVERIFY(loadError.contains(QStringLiteral("строка %1").arg(m.p.Records.Items.Count() + 1)));
        Program atRest(dir.path());
        atRest.InitAttributeNames();
        atRest.Knowledge = m.p.Knowledge;
        try {
            SearchRun::RunOverFile(atRest, m.wishes(), path, {});
            QFAIL("no error");
        } catch (const VestranaError& e) {
            QCOMPARE(e.message(), loadError);
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
        QCOMPARE(scoring::FoldedHash(field), scoring::HashOfFolded(text::Folded(field)));
    }
};

QTEST_GUILESS_MAIN(TestSearchColumns)
#include "tst_searchcolumns.moc"
