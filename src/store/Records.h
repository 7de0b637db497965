// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include "platform/LoadOptions.h"
#include "store/Record.h"

#include <QString>

#include <functional>
#include <span>
#include <vector>

namespace textfile {
class LineReader;
}

// An ordered list of listing references with 1-based positions: appending puts
// an entry at count + 1, removing position p moves the later entries down, and a
// position outside 1..count raises the out-of-range error.
class RecordList
{
public:
    int Count() const { return static_cast<int>(m_items.size()); }
    const RecordPtr& Item(int position) const;
    void Add(RecordPtr record) { m_items.push_back(std::move(record)); }
    void Remove(int position);
    void Clear() { m_items.clear(); }
    void Reserve(int n) { m_items.reserve(static_cast<size_t>(n)); }

    // Unchecked access by 0-based index, for the hot loops.
    const RecordPtr& at(int index) const { return m_items[static_cast<size_t>(index)]; }
    auto begin() const { return m_items.begin(); }
    auto end() const { return m_items.end(); }

private:
    std::vector<RecordPtr> m_items;
};

// The in-memory listing database with its file.
class Records
{
public:
    RecordList Items;

    // How far a long load, save or comparison has come: `done` listings of
    // about `total` (a load estimates the total from the bytes read so far).
    // Called on the thread that runs the load or save, now and then.
    using Progress = std::function<void(qint64 done, qint64 total)>;

    // Writes every listing to the file (windows-1251, 18 fields each followed by
    // "|", CR LF). The file is replaced atomically: a failed save leaves the old
    // file untouched and raises the file error.
    void SaveToFile(const QString& fileName, const Progress& progress = {},
                    const LoadOptions& options = {}) const;
    // Whether the file already holds exactly the bytes SaveToFile would write.
    // Listings changed since they were last loaded or saved answer false at
    // once; otherwise the file is read and compared batch by batch, up to the
    // first difference (a load may have tidied a line, so equal listings do
    // not prove equal bytes). A missing or unreadable file answers false.
    bool FileHolds(const QString& fileName, const Progress& progress = {},
                   const LoadOptions& options = {}) const;
    // Every listing's Finded becomes false and So 0.
    void ClearFinded();
    // Empties Items.
    void Clear();
    // Appends the listings of the file to Items; a missing file is created empty
    // (or, without createIfMissing, read as empty). A line with fewer than 18
    // fields raises the out-of-range error naming the file and the line; the
    // listings of the earlier lines stay. Blank lines at the end are ignored.
    void LoadFromFile(const QString& fileName, bool createIfMissing = true, const Progress& progress = {},
                      const LoadOptions& options = {});
    // The same over the bytes of such a file; `name` stands for it in messages.
    void LoadFromBytes(const QString& name, QByteArray bytes, const LoadOptions& options = {});

    // Reads the listings of a database file without keeping them: `visit`
    // gets them in runs of whole lines, with the 0-based index of the run's
    // first listing, and may keep any of them. Runs come on the loading
    // threads, two at a time, so `visit` must only compute and write what is
    // its own per run. The same errors as LoadFromFile raises, once the
    // listings before the bad line were visited (some after it in the same
    // block may have been too); a missing file reads as empty.
    // The listings are lent for the call only (they are read into again);
    // keep one by copying it.
    using Visit = std::function<void(std::span<const Record> listings, qint64 first)>;
    static void ScanFile(const QString& fileName, const Visit& visit, const LoadOptions& options = {});

private:
    void load(textfile::LineReader& in, const Progress& progress, const LoadOptions& options);
    // A mark of the listings' order and states (their revisions), to tell
    // cheaply that they changed since the file was last read or written.
    quint64 stateMark() const;
    mutable quint64 m_fileMark = 0;
};
