// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "cli/Command.h"

#include "platform/AtomicWriter.h"
#include "platform/Errors.h"
#include "platform/LineReader.h"
#include "store/Record.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <optional>

namespace {

bool blank(QByteArrayView line)
{
    return std::all_of(line.begin(), line.end(), [](char c) { return c == ' ' || c == '\t'; });
}

// Why a line does not load, or an empty text when it does.
QString fault(QByteArrayView line)
{
    if (line.size() > textfile::LineReader::MaxLineBytes)
        return QStringLiteral("длиннее %1 МБ").arg(textfile::LineReader::MaxLineBytes >> 20);
    Record record;
    int pieces = 0;
    if (record.AssignLineCp1251(line.data(), line.size(), pieces)) return QString();
    return QStringLiteral("полей %1, а нужно 18").arg(pieces);
}

// Makes a database.txt that does not load loadable again: every line that
// the loader refuses goes, with its line number, to the end of
// database.rejected.txt, and the rest is saved as it was, byte for byte.
// The file as it was is kept as database.txt.bak first; each file is
// replaced atomically, and the command runs under the folder's lock.
class Repair final : public Command
{
public:
    Repair()
        : Command(
              "repair", Access::Writes,
              "перенести нечитаемые строки database.txt в database.rejected.txt (копия в database.txt.bak)",
              "repair")
    {
    }
    ExitCode Run(CliContext& ctx) const override;
};

ExitCode Repair::Run(CliContext& ctx) const
{
    const QDir dir(ctx.dataDir);
    const QString path = dir.filePath(QStringLiteral("database.txt"));
    const QString rejectedPath = dir.filePath(QStringLiteral("database.rejected.txt"));
    if (!QFileInfo::exists(path)) {
        ctx.out << "Файла database.txt нет, исправлять нечего.\n";
        return ExitCode::Ok;
    }

    // Read in pieces, so that a line of any length is no trouble.
    QFile in(path);
    if (!QFileInfo(path).isFile() || !in.open(QIODevice::ReadOnly)) {
        ctx.err << "Ошибка: файл «" << QDir::toNativeSeparators(path)
                << "» не открывается как обычный файл. Файлы данных не изменены.\n";
        return ExitCode::LoadFailed;
    }
    // The good lines go straight to the new file's temporary copy, which
    // replaces database.txt only at the end (and vanishes if it never does).
    std::optional<textfile::AtomicWriter> good;
    try {
        good.emplace(path);
    } catch (const VestranaError& e) {
        ctx.err << "Ошибка сохранения: " << e.message() << "\nФайлы данных не изменены.\n";
        return ExitCode::SaveFailed;
    }
    QByteArray rejected;
    qint64 lineNumber = 0, kept = 0, moved = 0, blanks = 0;
    const auto takeLine = [&](QByteArrayView line) {
        ++lineNumber;
        if (line.endsWith('\r')) line.chop(1);
        if (blank(line)) {
            ++blanks;
            return;
        }
        const QString why = fault(line);
        if (why.isEmpty()) {
            good->WriteBytes(line);
            good->WriteBytes("\r\n");
            ++kept;
            return;
        }
        ++moved;
        ctx.out << "Строка " << lineNumber << " перенесена в database.rejected.txt: " << why << '\n';
        rejected += QByteArray::number(lineNumber) + '\t';
        rejected.append(line.data(), line.size());
        rejected.append("\r\n", 2);
    };
    QByteArray pending;
    QByteArray chunk(qsizetype(1) << 20, Qt::Uninitialized);
    for (;;) {
        const qint64 got = in.read(chunk.data(), chunk.size());
        if (got < 0) {
            ctx.err << "Ошибка чтения файла database.txt: " << in.errorString()
                    << "\nФайлы данных не изменены.\n";
            return ExitCode::LoadFailed;
        }
        if (got == 0) break;
        pending.append(chunk.constData(), got);
        qsizetype from = 0;
        for (qsizetype nl; (nl = pending.indexOf('\n', from)) >= 0; from = nl + 1)
            takeLine(QByteArrayView(pending.constData() + from, nl - from));
        pending.remove(0, from);
    }
    if (!pending.isEmpty()) takeLine(pending);

    if (moved == 0 && blanks == 0) {
        ctx.out << "Все строки читаются, записей: " << kept << ". Файл database.txt не изменён.\n";
        return ExitCode::Ok;
    }
    try {
        textfile::CopyFileAtomic(path, path + QStringLiteral(".bak"));
        ctx.out << "Прежний файл сохранён как database.txt.bak.\n";
        if (moved > 0) {
            // Lines moved by an earlier repair stay.
            textfile::AtomicWriter out(rejectedPath);
            if (QFileInfo::exists(rejectedPath)) {
                QFile old(rejectedPath);
                if (!old.open(QIODevice::ReadOnly))
                    throw VestranaError(VestranaError::Kind::File,
                                        QStringLiteral("Файл «%1»: не удаётся открыть файл (%2)")
                                            .arg(QDir::toNativeSeparators(rejectedPath), old.errorString()));
                out.WriteBytes(old.readAll());
            }
            out.WriteBytes(rejected);
            out.Commit();
        }
        good->Commit();
    } catch (const VestranaError& e) {
        ctx.err << "Ошибка сохранения: " << e.message() << "\nФайл database.txt не изменён.\n";
        return ExitCode::SaveFailed;
    }
    ctx.out << "Перенесено строк: " << moved << ", пустых строк убрано: " << blanks
            << ". Файл database.txt сохранён, записей: " << kept << ".\n";
    return ExitCode::Ok;
}

} // namespace

const Command& RepairCommand()
{
    static const Repair command;
    return command;
}
