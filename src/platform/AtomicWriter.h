// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace textfile {

// Writes a file atomically: the text goes to a temporary file beside the target
// and replaces it only when everything was written and synced, so a failed save
// leaves the old file as it was; after the rename the folder is synced too, so
// that the new name survives a power cut.
class AtomicWriter
{
public:
    explicit AtomicWriter(const QString& path);
    ~AtomicWriter();
    AtomicWriter(const AtomicWriter&) = delete;
    AtomicWriter& operator=(const AtomicWriter&) = delete;

    // Appends a line in windows-1251 followed by CR LF.
    void WriteLine(QStringView line);
    // Raw bytes, already encoded.
    void WriteBytes(QByteArrayView bytes);
    // Commits the file; throws the file error naming the file and the reason.
    void Commit();

private:
    void flushIfLarge();
    void writeOut();
    void put(const char* data, qsizetype size);

    QString m_path;
    QString m_target; // m_path with a link resolved
    QString m_temp;
    int m_fd = -1;
    int m_errno = 0;         // the first failure, 0 while all is well
    bool m_readOnly = false; // the target is write-protected: never replaced
    QByteArray m_buf;
    qint64 m_written = 0; // bytes handed to the file
    qint64 m_flushed = 0; // of them, bytes whose writing to the disk was started
};

// Copies a file whole, replacing `to` atomically as AtomicWriter does (a
// backup before a change); throws the file error naming the file at fault.
void CopyFileAtomic(const QString& from, const QString& to);

// What a failed save says about the system's error code, in Russian ("нет
// места на диске" for ENOSPC and so on).
QString SaveFailureReason(int errorCode);

// Why an AtomicWriter could not replace the file at path now, in Russian ("нет
// прав на запись", "файл защищён от записи"...), or empty when it could: its
// folder takes a new file with a byte in it, and the file is not write-protected.
// For a long run to ask before it starts work whose end is a save.
QString CannotReplaceReason(const QString& path);

// When fileName (a name, no folder) is a temporary file an AtomicWriter writes
// beside its target, as a save killed midway leaves it: the target's name;
// otherwise empty.
QString TemporaryTarget(const QString& fileName);

} // namespace textfile
