#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringView>

// Windows-1251 text files: the format of both data files.
namespace textfile {

// Decodes windows-1251 bytes.
QString FromCp1251(const char* data, qsizetype size);
inline QString FromCp1251(const QByteArray& b) { return FromCp1251(b.constData(), b.size()); }
// Appends the windows-1251 form of s to out; a character the code page lacks
// becomes "?", the code page's substitute.
void AppendCp1251(QByteArray& out, QStringView s);
QByteArray ToCp1251(QStringView s);

// Reads a text file line by line in blocks, so that a large file is never held
// whole in memory. A line ends at CR LF or at a bare LF; the last line may lack
// its end. Opening a missing file creates it empty first, as the program's
// loaders require.
class LineReader
{
public:
    // Throws the file error (Russian message naming the file) when the file
    // can be neither opened nor created.
    explicit LineReader(const QString& path, bool createIfMissing = true);

    bool AtEndOfStream();
    // Reads the next line without its end, decoded; throws the read-past-end
    // error after the end.
    QString ReadLine();
    // The raw bytes of the next line (valid until the next call).
    QByteArrayView ReadLineBytes();
    // 1-based number of the line last read.
    qint64 LineNumber() const { return m_lineNumber; }
    const QString& Path() const { return m_path; }

private:
    bool fill();

    QString m_path;
    QFile m_file;
    QByteArray m_buf;
    qsizetype m_pos = 0;
    bool m_eof = false;
    qint64 m_lineNumber = 0;
};

// Writes a file atomically: the text goes to a temporary file beside the target
// and replaces it only when everything was written, so a failed save leaves the
// old file as it was.
class AtomicWriter
{
public:
    explicit AtomicWriter(const QString& path);
    ~AtomicWriter();

    // Appends a line in windows-1251 followed by CR LF.
    void WriteLine(QStringView line);
    // Appends text without a line end.
    void Write(QStringView text);
    // Raw bytes, already encoded.
    void WriteBytes(QByteArrayView bytes);
    // Commits the file; throws the file error naming the file and the reason.
    void Commit();

private:
    void flushIfLarge();

    QString m_path;
    struct Impl;
    Impl* d;
    QByteArray m_buf;
};

} // namespace textfile

namespace textfile {
// Appends one data-file field in windows-1251: "|" is written as "¦" and each
// line break (CR LF, CR or LF) as one space, so the line loads back as written.
void AppendFieldCp1251(QByteArray& out, QStringView s);
} // namespace textfile
