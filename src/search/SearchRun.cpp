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

// What the run needs of one attribute, worked out once per run.
struct AttributeRule
{
    Kind kind = Kind::Other;
    scoring::Wish wish; // not scored: the attribute scores 100
    // Accepted values with a short list: its first occurrences, scanned in
    // order (cheaper than hashing every field).
    std::vector<scoring::Entry> entries;
    bool scan = false;

    scoring::Attribute attribute(Program& program, field::Field f) const
    {
        scoring::Attribute a{program.Knowledge, program.Engine(), f};
        a.entries = entries.data();
        a.entryCount = entries.size();
        a.scan = scan;
        return a;
    }
};

// Beyond this many accepted values the hash index beats a scan.
constexpr int kScanLimit = 48;

// What an explanation learns from the scoring code besides the score.
struct Trace
{
    bool hasValue = false;
    float value = 0;
    QString failure;
    bool formulaFailed = false;
};

// The score of one attribute from the listing's fields, through its kind's
// strategy; the straightforward scoring and the explanation call it. With
// Explain the trace is filled as well (the run never asks for it).
template <bool Explain>
float attributeScore(Program& program, const Record& r, field::Field f, const AttributeRule& rule,
                     [[maybe_unused]] Trace* trace = nullptr)
{
    const scoring::Wish& w = rule.wish;
    if (!w.scored) return 100.0f;
    return scoring::WithKind(rule.kind, [&](auto kind) -> float {
        constexpr Kind K = decltype(kind)::value;
        constexpr kinds::Traits traits = kinds::Of(K);
        if constexpr (!traits.comparesNumbers) {
            static_assert(traits.column == kinds::Column::Hashes);
            const scoring::Attribute a = rule.attribute(program, f);
            return scoring::TextScore(w, scoring::Strategy<K>::Of(a, r), [&] { return r.Field(f); });
        } else {
            if (!w.aFits) {
                if constexpr (Explain)
                    trace->failure = QStringLiteral("Пожелание — число вне одинарной точности, оценка 0");
                return 0.0f;
            }
            scoring::Value v;
            if constexpr (traits.column == kinds::Column::Values) {
                scoring::Attribute a = rule.attribute(program, f);
                [[maybe_unused]] QString reason;
                if constexpr (Explain) a.reason = &reason;
                v = scoring::Strategy<K>::Of(a, r);
                if constexpr (Explain) {
                    if (v.flags & scoring::kFailed) {
                        trace->formulaFailed = true;
                        trace->failure = QStringLiteral("Формула не вычислена: ") + reason;
                    }
                }
            }
            if constexpr (!Explain) {
                return scoring::NumberScore(w, v);
            } else {
                try {
                    if (v.flags & scoring::kBeyond) throw VestranaError::overflow();
                    trace->hasValue = traits.column == kinds::Column::Values;
                    trace->value = v.value;
                    return scoring::Closeness(w.a, v.value, w.lo, w.hi);
                } catch (const VestranaError& e) {
                    // A number beyond single precision in this listing: the
                    // attribute scores 0 and the run goes on.
                    trace->failure =
                        e.message() + QStringLiteral(" (число вне одинарной точности), оценка 0");
                    return 0.0f;
                }
            }
        }
    });
}

using Rules = std::array<AttributeRule, KnowledgeBase::Attributes>;

// The rules of a run for its prepared wishes. Entries point into the knowledge
// base's lists, which must not change while the rules are in use.
Rules buildRules(const Program& program, const PreparedWishes& wishes)
{
    const KnowledgeBase& kb = program.Knowledge;
    Rules rules;
    for (field::Field f : field::AttributeFields) {
        const PreparedWish& w = wishes[f];
        AttributeRule& r = rules[field::Slot(f)];
        if (!w.scored) continue;
        r.kind = kb.AttributeKinds[f].Id();
        r.wish = scoring::MakeWish(r.kind, kb, f, w.text, w.number);
        if (!kinds::Of(r.kind).usesValues) continue;
        const AttributeValueList& list = kb.AttributeValueLists[f];
        if (list.Count() <= kScanLimit) {
            r.scan = true;
            for (int p = 0; p < list.Count(); ++p) {
                const QString& value = list.Values()[p];
                if (list.IndexOf(value) != p) continue; // only the first occurrence counts
                r.entries.push_back({QStringView(value), scoring::NumberOf(list.Scores()[p])});
            }
        }
    }
    return rules;
}

// A listing's score from its fields, attribute by attribute: the sum in
// attribute order divided by 17, as the run adds it up.
float straightScore(Program& program, const Record& r, const Rules& rules)
{
    float sum = 0;
    for (field::Field f : field::AttributeFields)
        sum += attributeScore<false>(program, r, f, rules[field::Slot(f)]);
    return sum / static_cast<float>(field::Attributes);
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
    for (field::Field f : field::AttributeFields) {
        const AttributeRule& rule = rules[field::Slot(f)];
        const scoring::Wish& w = rule.wish;
        const kinds::Traits& traits = kinds::Of(rule.kind);
        if (!w.scored) {
            for (int i = begin; i < end; ++i)
                out[i] += 100.0f;
            continue;
        }
        if (traits.column == kinds::Column::Hashes) {
            const std::uint32_t* hashes = columns.Hashes(field::Index(f));
            for (int i = begin; i < end; ++i)
                out[i] += scoring::TextScore(w, hashes[i], [&] { return items.at(i)->Field(f); });
            continue;
        }
        if (!w.aFits || traits.column == kinds::Column::None) {
            // The same score for every listing: 0 for a wish beyond single
            // precision, else the closeness of the wish to 0.
            const float constant = w.aFits ? scoring::NumberScore(w, scoring::Value()) : 0.0f;
            for (int i = begin; i < end; ++i)
                out[i] += constant;
            continue;
        }
        const float* values = columns.Values(field::Index(f));
        const std::uint8_t* beyond = columns.Beyond(field::Index(f));
        for (int i = begin; i < end; ++i)
            out[i] += scoring::NumberScore(w, {values[i], beyond[i]});
    }
    for (int i = begin; i < end; ++i)
        out[i] = out[i] / static_cast<float>(field::Attributes);
}

// Whether the rule reads the attribute's column.
bool readsColumn(const AttributeRule& rule)
{
    const kinds::Column column = kinds::Of(rule.kind).column;
    if (!rule.wish.scored || column == kinds::Column::None) return false;
    return column == kinds::Column::Hashes || rule.wish.aFits;
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
    for (field::Field f : field::AttributeFields)
        if (kinds::Of(rules[field::Slot(f)].kind).usesValues)
            (void)program.Knowledge.AttributeValueLists[f].IndexOf(QStringView());

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
        e.score = attributeScore<true>(program, r, field::At(k), rule, &trace);
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
        e.hasRange = rule.wish.scored && kinds::Of(rule.kind).comparesNumbers;
        e.lo = rule.wish.lo;
        e.hi = rule.wish.hi;
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
