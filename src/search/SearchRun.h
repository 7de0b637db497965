// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "knowledge/KnowledgeBase.h"
#include "platform/LoadOptions.h"
#include "program/RunContext.h"
#include "search/PreparedWish.h"
#include "store/Record.h"

#include <array>
#include <functional>
#include <vector>

class Program;
class Record;

// One search: scores every listing against the wishes and fills FoundList with
// up to MaxFound listings, best first. It runs on the caller's thread and talks
// to whoever drives it only through its run context: the progress text
// ("Обработка данных ( 12%)...") when it changes, a yield at most every
// ~15 ms, and the stop request after every yield (the listings scored so far
// are still ranked); and through these hooks.
struct SearchHooks : RunContext
{
    // Redraws the result list; called once right after FoundList was emptied.
    std::function<void()> refresh;
    // The wishes once prepared, before any listing is scored.
    std::function<void(const PreparedWishes&)> prepared;
    // After a complete scoring pass: the attributes with a scored wish whose
    // formula failed for every listing (so that every listing was compared
    // with 0 there). Not called when there are none.
    std::function<void(const QList<int>&)> formulaFailedEverywhere;
};

// Why one listing scored as it did, attribute by attribute.
struct AttributeExplanation
{
    int attribute = 0;
    QString name;
    AttributeKind kind;
    QString wish;     // as typed
    QString prepared; // what was compared: empty when the wish was not scored
    PreparedWish::Note note = PreparedWish::Note::None;
    QString hint;  // what the preparation said about the wish
    QString field; // the listing's field text
    // The listing's number that was compared (formalized value, formula result
    // or the number read from the field), where the kind has one.
    bool hasValue = false;
    float value = 0;
    // The range the closeness was taken over, where a number was compared.
    bool hasRange = false;
    float lo = 0, hi = 0;
    float score = 100;
    float lost = 0; // 100 - score
    // Why the attribute scored 0 or was compared with 0 (a failing formula, a
    // number beyond single precision); empty when nothing failed.
    QString failure;
    bool formulaFailed = false;
};

struct Explanation
{
    field::FieldArray<AttributeExplanation, field::Attributes> attributes;
    // The scores summed in attribute order and divided by 17, as the run does.
    float so = 0;
};

class SearchRun
{
public:
    // The wishes of attributes 0..17 as the boxes hold them (14..17 empty).
    using Wishes = WishTexts;

    // Runs the whole search. Returns false when it was stopped; what was scored
    // until then is still ranked, and the progress hook gets StoppedText.
    [[nodiscard]] static bool Run(Program& program, Wishes wishes, const SearchHooks& hooks);

    // Run over the listings of a database file that are not loaded: each is
    // read, scored and dropped unless it is among the best, so that a million
    // listings never stand in memory together. FoundList gets what Run would
    // give over the file loaded into Records (the same listings in the same
    // order with the same So), as copies read from the file; Records is not
    // touched. No progress and no stop: for a one-shot answer from the files
    // at rest. A fault of the file raises the error loading it raises.
    static void RunOverFile(Program& program, Wishes wishes, const QString& fileName,
                            const SearchHooks& hooks, const LoadOptions& options = {});

    // The wishes made ready to be compared (PrepareWishes with the program's
    // knowledge base and engine).
    static PreparedWishes Prepare(Program& program, const Wishes& wishes);

    // Every listing's score for prepared wishes, computed listing by listing
    // from the fields and the knowledge base, without the columns: the
    // straightforward scoring the run must agree with bit for bit.
    static std::vector<float> StraightScores(Program& program, const PreparedWishes& prepared);

    // The progress text after a stop: how many of the listings were scored.
    static QString StoppedText(int scored, int total);

    // The "% совпадения" cell of a score.
    static QString ScoreText(float so);

    // The cells of a listing's row in the result list, one per fieldinfo::ResultColumns.
    static QStringList ResultCells(const Record& r);
    // The captions of those columns.
    static QStringList ResultHeaders();

    // The explanation of one listing's score for the wishes as the run
    // prepared them, computed by the run's own scoring code.
    static Explanation Explain(Program& program, const Record& r, const PreparedWishes& prepared);

    // The CSV text (RFC 4180 but for the separator, CRLF line ends, no byte
    // order mark) of listings: a header row, then per listing its 17 fields and
    // its match. ";" is what spreadsheets in a Russian locale read; "," the
    // other choice. A number is written without blanks around it.
    static QString Csv(const Program& program, const QList<RecordPtr>& listings, QChar separator = u';');
    // The result rows of listings as tab-separated text, the header line first;
    // tabs and line breaks inside a cell become spaces.
    static QString Tsv(const QList<RecordPtr>& listings);
};
