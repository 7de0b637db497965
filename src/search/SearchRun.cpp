// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "search/SearchRun.h"

#include "knowledge/Formula.h"
#include "knowledge/KnowledgeBase.h"
#include "knowledge/Scoring.h"
#include "platform/Errors.h"
#include "platform/Parallel.h"
#include "platform/Simd.h"
#include "platform/Text.h"
#include "platform/TimeSlice.h"
#include "program/Program.h"
#include "script/ScriptEngine.h"
#include "store/Fields.h"
#include "store/Records.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <vector>

namespace {

enum class Rule { Empty, Ordinal, Numeric, Other };
using scoring::Source;

// What the run needs of one attribute, worked out once per run.
struct AttributeRule
{
    Rule rule = Rule::Empty;
    Source source = Source::Zero;
    QString folded;    // Ordinal: the wish trimmed and lower-cased
    float a = 0;       // the wish's number
    bool aFits = true; // false: the wish is beyond single precision, the attribute scores 0
    float lo = 0, hi = 100;
    // ByValue with a short list: its first occurrences, scanned in order (cheaper
    // than hashing every field); empty means the list's hash index is used.
    struct Entry
    {
        QStringView value;
        float score;
        bool fits;
    };
    std::vector<Entry> entries;
    bool useEntries = false;
    std::uint32_t foldedHash = 0; // Ordinal: ScoreColumns::HashOfFolded(folded)
};

// Beyond this many accepted values the hash index beats a scan.
constexpr int kScanLimit = 48;

// Letters whose lower case is one letter of the same code-unit count: Latin and
// Cyrillic, which is what the data holds.
bool simpleCase(QChar c)
{
    const char16_t u = c.unicode();
    return u < 0x130 || (u >= 0x400 && u < 0x530);
}

// Equality of a field with a folded wish, trimmed and ignoring letter case,
// without building a lower-cased copy of the field.
bool foldedEquals(QStringView field, const QString& folded)
{
    const QStringView f = text::TrimmedView(field);
    if (f.size() == folded.size()) {
        bool simple = true;
        for (qsizetype i = 0; i < f.size(); ++i) {
            const QChar c = f[i];
            if (!simpleCase(c)) {
                simple = false;
                break;
            }
            if (c != folded[i] && c.toLower() != folded[i]) return false;
        }
        if (simple) return true;
    } else if (std::all_of(f.begin(), f.end(), simpleCase)) {
        return false; // simple letters keep their count when lower-cased
    }
    return f.toString().toLower() == folded;
}

// What an explanation learns from the scoring code besides the score.
struct Trace
{
    bool hasValue = false;
    float value = 0;
    QString failure;
    bool formulaFailed = false;
};

// FormalizedValue for the listing at hand; a short list of accepted values is
// scanned from the run's own copy instead of hashing every field. With Explain
// the formula's failure reason is kept as well (the run never asks for it).
template <bool Explain>
float formalized(Program& program, const Record& r, int k, const AttributeRule& rule,
                 [[maybe_unused]] Trace* trace)
{
    if (rule.useEntries) {
        const QStringView f = r.Field(field::At(k));
        for (const AttributeRule::Entry& e : rule.entries) {
            if (e.value.size() == f.size() && e.value == f) {
                if (!e.fits) throw VestranaError::overflow();
                return e.score;
            }
        }
        return 0.0f;
    }
    if constexpr (Explain) {
        if (rule.source == Source::ByFormula) {
            const KnowledgeBase& kb = program.Knowledge;
            bool ok = false;
            QString reason;
            const float v =
                EvaluateFormula(r, kb.AttributeFormulas[field::At(k)], ok, kb, program.Engine(), &reason);
            if (!ok) {
                trace->formulaFailed = true;
                trace->failure = QStringLiteral("Формула не вычислена: ") + reason;
            }
            return v;
        }
    }
    return scoring::FormalizedValueOf(rule.source, program.Knowledge, program.Engine(), r, field::At(k));
}

// The score of one attribute; the scoring pass and the explanation both call it.
template <bool Explain>
float attributeScore(Program& program, const Record& r, int k, const AttributeRule& rule,
                     [[maybe_unused]] Trace* trace = nullptr)
{
    switch (rule.rule) {
    case Rule::Empty:
        return 100.0f;
    case Rule::Ordinal:
        return foldedEquals(r.Field(field::At(k)), rule.folded) ? 100.0f : 0.0f;
    case Rule::Numeric:
    case Rule::Other:
        if (!rule.aFits) {
            if constexpr (Explain)
                trace->failure = QStringLiteral("Пожелание — число вне одинарной точности, оценка 0");
            return 0.0f;
        }
        try {
            const float v = formalized<Explain>(program, r, k, rule, trace);
            if constexpr (Explain) {
                trace->hasValue = rule.source != Source::Zero;
                trace->value = v;
            } else {
                // Closeness without the exception it raises where this fails: the same 0.
                float score = 0.0f;
                return scoring::TryCloseness(rule.a, v, rule.lo, rule.hi, score) ? score : 0.0f;
            }
            return scoring::Closeness(rule.a, v, rule.lo, rule.hi);
        } catch (const VestranaError& e) {
            // A number beyond single precision in this listing: the attribute
            // scores 0 and the run goes on.
            if constexpr (Explain)
                trace->failure = e.message() + QStringLiteral(" (число вне одинарной точности), оценка 0");
            return 0.0f;
        }
    }
    return 0.0f;
}

using Rules = std::array<AttributeRule, KnowledgeBase::Attributes>;

// The rules of a run for its prepared wishes. Entries point into the knowledge
// base's lists, which must not change while the rules are in use.
Rules buildRules(const Program& program, const PreparedWishes& wishes)
{
    const KnowledgeBase& kb = program.Knowledge;
    Rules rules;
    for (int k = 0; k < KnowledgeBase::Attributes; ++k) {
        const PreparedWish& w = wishes[field::At(k)];
        AttributeRule& r = rules[static_cast<size_t>(k)];
        if (!w.scored) continue;
        const Kind kind = kb.AttributeKinds[field::At(k)].Id();
        switch (kind) {
        case Kind::Ordinal:
            r.rule = Rule::Ordinal;
            r.folded = text::Folded(w.text);
            r.foldedHash = ScoreColumns::HashOfFolded(r.folded);
            continue;
        case Kind::Numeric:
            r.rule = Rule::Numeric;
            break;
        case Kind::ByValue:
        case Kind::ByFormula:
        case Kind::Other:
            r.rule = Rule::Other;
            break;
        }
        r.source = scoring::SourceOf(kind);
        if (r.source == Source::ByValue) {
            const AttributeValueList& list = kb.AttributeValueLists[field::At(k)];
            if (list.Count() <= kScanLimit) {
                r.useEntries = true;
                for (int p = 0; p < list.Count(); ++p) {
                    const QString& value = list.Values()[p];
                    if (list.IndexOf(value) != p) continue; // only the first occurrence counts
                    const double score = text::Val(list.Scores()[p]);
                    const bool fits = text::FitsSingle(score);
                    r.entries.push_back({QStringView(value), fits ? static_cast<float>(score) : 0.0f, fits});
                }
            }
        }
        const double a = w.number;
        r.aFits = text::FitsSingle(a);
        r.a = r.aFits ? static_cast<float>(a) : 0.0f;
        if (r.rule == Rule::Numeric) {
            r.lo = kb.AttributeMin[field::At(k)];
            r.hi = kb.AttributeMax[field::At(k)];
        }
    }
    return rules;
}

// A listing's score from its fields, attribute by attribute: the sum in
// attribute order divided by 17, as the run adds it up.
float straightScore(Program& program, const Record& r, const Rules& rules)
{
    float sum = 0;
    for (int k = 0; k < KnowledgeBase::Attributes; ++k)
        sum += attributeScore<false>(program, r, k, rules[static_cast<size_t>(k)]);
    return sum / float(field::Attributes);
}

} // namespace

PreparedWishes SearchRun::Prepare(Program& program, const Wishes& wishes)
{
    return PrepareWishes(program.Knowledge, program.Engine(), wishes);
}

QString SearchRun::StoppedText(int scored, int total)
{
    return QStringLiteral("Поиск остановлен: просмотрено %1 из %2 записей.").arg(scored).arg(total);
}

QString SearchRun::ScoreText(float so)
{
    return text::NumberText(text::RoundHalfEven(static_cast<double>(so), 1));
}

QStringList SearchRun::ResultCells(const Record& r)
{
    // Fields as stored; the "/" joins are plain, so an empty field leaves its place empty.
    QStringList cells;
    cells.reserve(fieldinfo::ResultColumnCount);
    for (const fieldinfo::Column& c : fieldinfo::ResultColumns) {
        if (c.partCount == 0) {
            cells << ScoreText(r.So);
            continue;
        }
        cells << CellText(r, c);
    }
    return cells;
}

namespace {

// The pace of one run: its time slice and the stop request.
struct Pace
{
    const SearchHooks& hooks;
    TimeSlice slice;

    explicit Pace(const SearchHooks& h) : hooks(h), slice(h.yield) {}
    bool stopped() const { return hooks.StopRequested(); }
    bool yieldPoint()
    {
        slice();
        return stopped();
    }
};

// Step 1: empties the results and prepares the wishes, then works out the rules.
Rules prepareRules(Program& program, const SearchRun::Wishes& wishes, const SearchHooks& hooks)
{
    program.ClearFoundList();
    if (hooks.refresh) hooks.refresh();

    const PreparedWishes prepared = SearchRun::Prepare(program, wishes);
    if (hooks.prepared) hooks.prepared(prepared);
    return buildRules(program, prepared);
}

// The scores of the listings [begin, end) into `out`, read from the columns:
// per attribute in attribute order, so that every listing's sum is added up in
// the same order as attributeScore's. Pure computation over the columns and
// (for a text match whose hash agrees) the listing's field.
void scoreRows(const Program& program, const Rules& rules, int begin, int end, float* out)
{
    const ScoreColumns& columns = program.Columns;
    const RecordList& items = program.Records.Items;
    for (int i = begin; i < end; ++i)
        out[i] = 0.0f;
    for (int k = 0; k < KnowledgeBase::Attributes; ++k) {
        const AttributeRule& rule = rules[static_cast<size_t>(k)];
        switch (rule.rule) {
        case Rule::Empty:
            for (int i = begin; i < end; ++i)
                out[i] += 100.0f;
            continue;
        case Rule::Ordinal: {
            const std::uint32_t* hashes = columns.Hashes(k);
            for (int i = begin; i < end; ++i) {
                const bool same = hashes[i] == rule.foldedHash &&
                                  foldedEquals(items.at(i)->Field(field::At(k)), rule.folded);
                out[i] += same ? 100.0f : 0.0f;
            }
            continue;
        }
        case Rule::Numeric:
        case Rule::Other:
            break;
        }
        if (!rule.aFits || rule.source == Source::Zero) {
            // The same score for every listing: 0 for a wish beyond single
            // precision, else the closeness of the wish to 0.
            float constant = 0.0f;
            if (rule.aFits && !scoring::TryCloseness(rule.a, 0.0f, rule.lo, rule.hi, constant))
                constant = 0.0f;
            for (int i = begin; i < end; ++i)
                out[i] += constant;
            continue;
        }
        const float* values = columns.Values(k);
        const std::uint8_t* beyond = columns.Beyond(k);
        for (int i = begin; i < end; ++i) {
            float score = 0.0f;
            if ((beyond[i] & ScoreColumns::kBeyond) ||
                !scoring::TryCloseness(rule.a, values[i], rule.lo, rule.hi, score))
                score = 0.0f;
            out[i] += score;
        }
    }
    for (int i = begin; i < end; ++i)
        out[i] = out[i] / float(field::Attributes);
}

// Whether the rule reads the attribute's column.
bool readsColumn(const AttributeRule& rule)
{
    if (rule.rule == Rule::Ordinal) return true;
    if (rule.rule == Rule::Empty) return false;
    return rule.aFits && rule.source != Source::Zero;
}

// Listings per step of the scoring pass: the columns are extended and the
// scores computed a step ahead of the walk that stores them.
constexpr int kStep = 32768;

// Step 2: scores every listing in order into its So and `scores`; a listing of
// 100 goes straight into FoundList (`taken`), until it holds MaxFound. Every
// listing's marks are reset as the pass reaches it, and the rest after an early
// end. Returns how many listings were scored before a stop (all of them when
// none came).
int scoringPass(Program& program, const Rules& rules, Pace& pace, std::vector<float>& scores,
                std::vector<char>& taken)
{
    const SearchHooks& hooks = pace.hooks;
    const RecordList& items = program.Records.Items;
    const int n = items.Count();
    auto resetFrom = [&](int first) {
        for (int j = first; j < n; ++j) {
            items.at(j)->Finded = false;
            items.at(j)->So = 0;
        }
    };

    ScoreColumns& columns = program.Columns;
    const KnowledgeBase& kb = program.Knowledge;
    const ScriptEngine& engine = program.Engine();
    columns.Refresh(kb, engine);
    columns.SyncRows(items);
    ScoreColumns::Attributes wanted{};
    for (int k = 0; k < KnowledgeBase::Attributes; ++k)
        wanted[static_cast<size_t>(k)] = readsColumn(rules[static_cast<size_t>(k)]);

    int shownPercent = -1;
    int nextPercentAt = 1; // the first listing whose percent may differ from shownPercent
    constexpr int kAhead = 8;
    for (int begin = 0; begin < n; begin += kStep) {
        const int end = std::min(n, begin + kStep);
        columns.Extend(wanted, end, items, kb, engine);
        parallel::For(begin, end, 4096,
                      [&](int b, int e) { scoreRows(program, rules, b, e, scores.data()); });
        for (int i = begin + 1; i <= end; ++i) {
            if (i >= nextPercentAt) {
                const int percent = static_cast<int>(text::RoundHalfEven(double(i) * 100.0 / double(n)));
                if (percent != shownPercent) {
                    shownPercent = percent;
                    if (hooks.progress)
                        hooks.progress(QStringLiteral("Обработка данных (") + text::NumberText(percent) +
                                       QStringLiteral("%)..."));
                }
                // The percent rises with i: skip the listings that keep it.
                nextPercentAt = i + 1;
                const double step = double(n) / 100.0;
                const int guess = static_cast<int>((double(percent) + 0.5) * step) - 2;
                if (guess > nextPercentAt) nextPercentAt = guess;
            }
            if (i - 1 + kAhead < n) simd::Prefetch(items.at(i - 1 + kAhead).get());
            const RecordPtr& record = items.at(i - 1);
            record->Finded = false;
            record->So = 0;
            if (pace.yieldPoint()) {
                // The listings scored so far are still ranked and shown.
                resetFrom(i);
                return i - 1;
            }
            // A listing changed since its columns were computed is scored anew.
            if (columns.CheckRow(i - 1, *record, kb, engine))
                scoreRows(program, rules, i - 1, i, scores.data());
            record->So = scores[static_cast<size_t>(i - 1)];
            if (record->So == 100.0f) {
                record->Finded = true;
                taken[static_cast<size_t>(i - 1)] = 1;
                program.FoundList.append(record);
                if (program.FoundList.size() >= program.MaxFound) {
                    resetFrom(i);
                    return n;
                }
            }
        }
    }
    return n;
}

// Step 3: fills FoundList up to MaxFound with the best remaining positive
// scores of the first `scored` listings, lower positions first on ties. After a
// stop in the scoring pass it ranks what was scored without waiting for a
// second stop: that is at most MaxFound short walks. Returns false when it was
// stopped itself (the progress hook has said so).
bool rankingPass(Program& program, Pace& pace, const std::vector<float>& scores, std::vector<char>& taken,
                 int scored)
{
    const RecordList& items = program.Records.Items;
    const int n = items.Count();
    const bool stoppedScoring = scored < n;
    auto rankingYield = [&] {
        if (stoppedScoring) {
            pace.slice();
            return false;
        }
        return pace.yieldPoint();
    };
    auto stoppedRanking = [&] {
        if (pace.hooks.progress) pace.hooks.progress(SearchRun::StoppedText(n, n));
        return false;
    };
    // One walk finds the best remaining scores, best first and lower positions
    // first on ties: what one walk per entry would pick, entry by entry.
    const int room = std::max(0, program.MaxFound - static_cast<int>(program.FoundList.size()));
    std::vector<int> best;
    best.reserve(static_cast<size_t>(room) + 1);
    auto scoreAt = [&](int i) { return scores[static_cast<size_t>(i)]; };
    for (int i = 0; i < scored && room > 0; ++i) {
        if ((i & 4095) == 0 && rankingYield()) return stoppedRanking();
        const float so = scoreAt(i);
        if (!(so > 0.0f) || taken[static_cast<size_t>(i)]) continue;
        if (static_cast<int>(best.size()) == room && !(so > scoreAt(best.back()))) continue;
        auto at = std::upper_bound(best.begin(), best.end(), so,
                                   [&](float value, int j) { return value > scoreAt(j); });
        best.insert(at, i);
        if (static_cast<int>(best.size()) > room) best.pop_back();
    }
    for (size_t next = 0;; ++next) {
        if (rankingYield()) return stoppedRanking();
        if (program.FoundList.size() >= program.MaxFound) break;
        if (next >= best.size()) break;
        const int candidate = best[next];
        taken[static_cast<size_t>(candidate)] = 1;
        items.at(candidate)->Finded = true;
        program.FoundList.append(items.at(candidate));
    }
    return true;
}

} // namespace

bool SearchRun::Run(Program& program, Wishes wishes, const SearchHooks& hooks)
{
    Program::BusyScope busy(program, Program::ChangesFoundList);
    program.Engine().ReadClock(); // one moment for every formula of the run
    Pace pace(hooks);

    const Rules rules = prepareRules(program, wishes, hooks);

    // Every listing's marks are reset as the scoring pass reaches it, and the
    // rest after an early end: the same state as a reset of all first, without
    // an extra walk over a million listings.
    pace.slice.now();
    const int n = program.Records.Items.Count();
    if (pace.stopped()) {
        program.Records.ClearFinded();
        if (hooks.progress) hooks.progress(StoppedText(0, n));
        return false;
    }
    // The scores again, side by side, for the ranking walks.
    std::vector<float> scores(static_cast<size_t>(n), 0.0f);
    std::vector<char> taken(static_cast<size_t>(n), 0);

    const int scored = scoringPass(program, rules, pace, scores, taken);
    if (hooks.formulaFailedEverywhere && scored == n) {
        QList<int> failed;
        for (int k = 0; k < KnowledgeBase::Attributes; ++k)
            if (readsColumn(rules[static_cast<size_t>(k)]) && program.Columns.FailedEverywhere(k, n))
                failed.append(k);
        if (!failed.isEmpty()) hooks.formulaFailedEverywhere(failed);
    }
    if (!rankingPass(program, pace, scores, taken, scored)) return false;
    if (scored < n) {
        if (hooks.progress) hooks.progress(StoppedText(scored, n));
        return false;
    }
    return true;
}

void SearchRun::RunOverFile(Program& program, Wishes wishes, const QString& fileName,
                            const SearchHooks& hooks, const LoadOptions& options)
{
    Program::BusyScope busy(program, Program::ChangesFoundList);
    program.Engine().ReadClock(); // one moment for every formula of the run
    const Rules rules = prepareRules(program, wishes, hooks);
    // The lists' indexes are built lazily: here, before the threads read them.
    for (int k = 0; k < KnowledgeBase::Attributes; ++k)
        if (rules[static_cast<size_t>(k)].source == Source::ByValue)
            (void)program.Knowledge.AttributeValueLists[field::At(k)].IndexOf(QStringView());

    // What Run puts into FoundList: the first MaxFound listings of 100 in file
    // order (the scoring pass ends at the last of them), then the best other
    // positive scores, lower positions first on ties. Each run of listings
    // keeps its own first perfect ones and its own best, which together hold
    // the file's.
    struct Kept
    {
        float so;
        qint64 index;
        RecordPtr record;
    };
    const auto before = [](const Kept& x, const Kept& y) {
        return x.so > y.so || (x.so == y.so && x.index < y.index);
    };
    const size_t room = static_cast<size_t>(std::max(0, program.MaxFound));
    // As Run: the pass ends at the perfect score that fills FoundList, which
    // takes one even where MaxFound is 0.
    const size_t perfectRoom = std::max<size_t>(1, room);
    std::mutex mutex;
    std::vector<Kept> perfect, best;
    const auto visit = [&](std::span<const Record> listings, qint64 first) {
        std::vector<Kept> ownPerfect, ownBest;
        for (size_t i = 0; i < listings.size(); ++i) {
            const Record& r = listings[i];
            const float so = straightScore(program, r, rules);
            const qint64 index = first + qint64(i);
            if (so == 100.0f) {
                if (ownPerfect.size() < perfectRoom)
                    ownPerfect.push_back({so, index, std::make_shared<Record>(r)});
                continue;
            }
            if (!(so > 0.0f) || room == 0) continue;
            if (ownBest.size() == room && !before(Kept{so, index, nullptr}, ownBest.back())) continue;
            const Kept kept{so, index, std::make_shared<Record>(r)};
            ownBest.insert(std::upper_bound(ownBest.begin(), ownBest.end(), kept, before), kept);
            if (ownBest.size() > room) ownBest.pop_back();
        }
        const std::lock_guard<std::mutex> lock(mutex);
        perfect.insert(perfect.end(), ownPerfect.begin(), ownPerfect.end());
        best.insert(best.end(), ownBest.begin(), ownBest.end());
    };
    Records::ScanFile(fileName, visit, options);
    std::sort(perfect.begin(), perfect.end(), [](const Kept& x, const Kept& y) { return x.index < y.index; });
    std::sort(best.begin(), best.end(), before);
    const auto take = [&](const Kept& k) {
        k.record->So = k.so;
        k.record->Finded = true;
        program.FoundList.append(k.record);
    };
    for (size_t i = 0; i < perfect.size() && i < perfectRoom; ++i)
        take(perfect[i]);
    for (size_t i = 0; i < best.size() && static_cast<size_t>(program.FoundList.size()) < room; ++i)
        take(best[i]);
}

QStringList SearchRun::ResultHeaders()
{
    QStringList headers;
    for (const fieldinfo::Column& c : fieldinfo::ResultColumns)
        headers << QString::fromUtf16(c.header);
    return headers;
}

std::vector<float> SearchRun::StraightScores(Program& program, const PreparedWishes& prepared)
{
    const Rules rules = buildRules(program, prepared);
    std::vector<float> out;
    out.reserve(static_cast<size_t>(program.Records.Items.Count()));
    for (const RecordPtr& r : program.Records.Items)
        out.push_back(straightScore(program, *r, rules));
    return out;
}

Explanation SearchRun::Explain(Program& program, const Record& r, const PreparedWishes& prepared)
{
    const KnowledgeBase& kb = program.Knowledge;
    const Rules rules = buildRules(program, prepared);
    Explanation out;
    float sum = 0;
    for (int k = 0; k < KnowledgeBase::Attributes; ++k) {
        const auto ks = static_cast<size_t>(k);
        const AttributeRule& rule = rules[ks];
        AttributeExplanation& e = out.attributes[field::At(k)];
        Trace trace;
        e.score = attributeScore<true>(program, r, k, rule, &trace);
        sum += e.score;
        e.attribute = k;
        e.name = kb.AttributeNames[field::At(k)];
        e.kind = kb.AttributeKinds[field::At(k)];
        e.wish = prepared[field::At(k)].typed;
        e.prepared = prepared[field::At(k)].text;
        e.note = prepared[field::At(k)].note;
        e.hint = prepared[field::At(k)].hint;
        e.field = r.GetRecord(field::At(k));
        e.hasValue = trace.hasValue;
        e.value = trace.value;
        e.hasRange = rule.rule == Rule::Numeric || rule.rule == Rule::Other;
        e.lo = rule.lo;
        e.hi = rule.hi;
        e.lost = 100.0f - e.score;
        e.failure = trace.failure;
        e.formulaFailed = trace.formulaFailed;
    }
    out.so = sum / float(field::Attributes);
    return out;
}

namespace {

QString csvField(QString s, QChar separator)
{
    // A spreadsheet would keep the blanks of " 5" and read it as text.
    if (text::IsNumber(s)) s = text::Trimmed(s);
    if (!s.contains(u'"') && !s.contains(separator) && !s.contains(u'\n') && !s.contains(u'\r')) return s;
    QString q = s;
    q.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    return u'"' + q + u'"';
}

void appendCsvRow(QString& out, const QStringList& cells, QChar separator)
{
    for (qsizetype i = 0; i < cells.size(); ++i) {
        if (i > 0) out += separator;
        out += csvField(cells[i], separator);
    }
    out += QStringLiteral("\r\n");
}

QString tsvCell(QString s)
{
    for (QChar& c : s)
        if (c == u'\t' || c == u'\n' || c == u'\r') c = u' ';
    return s;
}

void appendTsvRow(QString& out, const QStringList& cells)
{
    for (qsizetype i = 0; i < cells.size(); ++i) {
        if (i > 0) out += u'\t';
        out += tsvCell(cells[i]);
    }
    out += u'\n';
}

} // namespace

QString SearchRun::Csv(const Program& program, const QList<RecordPtr>& listings, QChar separator)
{
    QString out;
    QStringList header;
    for (int k = 0; k < KnowledgeBase::Attributes; ++k)
        header << program.Knowledge.AttributeNames[field::At(k)];
    header << QStringLiteral("% совпадения");
    appendCsvRow(out, header, separator);
    for (const RecordPtr& r : listings) {
        QStringList cells;
        for (int k = 0; k < KnowledgeBase::Attributes; ++k)
            cells << r->GetRecord(field::At(k));
        cells << ScoreText(r->So);
        appendCsvRow(out, cells, separator);
    }
    return out;
}

QString SearchRun::Tsv(const QList<RecordPtr>& listings)
{
    QString out;
    appendTsvRow(out, ResultHeaders());
    for (const RecordPtr& r : listings)
        appendTsvRow(out, ResultCells(*r));
    return out;
}
