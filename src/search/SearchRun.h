#pragma once

#include <QString>
#include <QStringList>

#include <array>
#include <functional>

class Program;
class Record;

// One search: scores every listing against the wishes and fills FoundList with
// up to MaxFound listings, best first. It runs on the caller's thread and talks
// to whoever drives it only through these hooks.
struct SearchHooks
{
    // The progress text ("Обработка данных ( 12%)..."), called when it changes.
    std::function<void(const QString&)> progress;
    // Lets pending events run; called at most every ~15 ms.
    std::function<void()> yield;
    // Read after every yield: true ends the run there, keeping what it found.
    std::function<bool()> stopRequested;
    // Redraws the result list; called once right after FoundList was emptied.
    std::function<void()> refresh;
};

class SearchRun
{
public:
    // The wishes of attributes 0..17 as the boxes hold them (14..17 empty).
    using Wishes = std::array<QString, 18>;

    // Runs the whole search. Returns false when it was stopped.
    static bool Run(Program& program, Wishes wishes, const SearchHooks& hooks);

    // The wishes after preparation: trimmed, and for value-scored attributes a
    // wish equal to an accepted value (ignoring case and surrounding spaces)
    // replaced by that value's formalized value.
    static Wishes Prepare(const Program& program, Wishes wishes);

    // The "% совпадения" cell of a score.
    static QString ScoreText(float so);

    // The ten cells of a listing's row in the result list.
    static QStringList ResultCells(const Record& r);
};
