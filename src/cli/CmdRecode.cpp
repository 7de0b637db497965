// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "cli/Command.h"

#include "platform/AtomicWriter.h"
#include "platform/CodePage.h"
#include "platform/Errors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <memory>
#include <optional>
#include <vector>

namespace {

// One data file on its way from UTF-8 to windows-1251.
struct Recoding
{
    QString path;
    QByteArray original;
    QByteArray converted;
};

QString shown(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

// The windows-1251 form of UTF-8 bytes, line by line, line ends kept; empty
// and a reason naming the line when a character has no such form.
std::optional<QByteArray> toCp1251(const QString& path, QByteArrayView utf8, QString& reason)
{
    QByteArray out;
    out.reserve(utf8.size());
    qsizetype at = 0;
    for (qint64 line = 1; at < utf8.size(); ++line) {
        const qsizetype nl = utf8.indexOf('\n', at);
        const qsizetype end = nl < 0 ? utf8.size() : nl + 1;
        const QString text = QString::fromUtf8(utf8.sliced(at, end - at));
        const QByteArray bytes = textfile::ToCp1251(text);
        // The code page writes "?" for what it lacks: a round trip shows it.
        const QString back = textfile::FromCp1251(bytes);
        if (back != text) {
            qsizetype i = 0;
            while (i + 1 < text.size() && i < back.size() && back[i] == text[i])
                ++i;
            const char32_t c = text.at(i).isHighSurrogate() && i + 1 < text.size()
                                   ? QChar::surrogateToUcs4(text[i], text[i + 1])
                                   : text[i].unicode();
            reason = QStringLiteral("Файл «%1», строка %2: знак «%3» (U+%4) нельзя записать в windows-1251. "
                                    "Замените его и повторите; файлы не изменены.")
                         .arg(shown(path))
                         .arg(line)
                         .arg(QString::fromUcs4(&c, 1))
                         .arg(QString::number(static_cast<uint>(c), 16).toUpper().rightJustified(4, u'0'));
            return std::nullopt;
        }
        out += bytes;
        at = end;
    }
    return out;
}

class Recode final : public Command
{
public:
    Recode()
        : Command(
              "recode", Access::Writes,
              "перекодировать database.txt и knows.txt из UTF-8 в windows-1251, старые файлы — *.utf8.bak",
              "recode")
    {
    }
    ExitCode Run(CliContext& ctx) const override;
};

ExitCode Recode::Run(CliContext& ctx) const
{
    std::vector<Recoding> work;
    for (const QString& name : {QStringLiteral("database.txt"), QStringLiteral("knows.txt")}) {
        const QString path = QDir(ctx.dataDir).filePath(name);
        if (!QFileInfo::exists(path)) {
            ctx.out << name << ": файла нет\n";
            continue;
        }
        QFile file(path);
        if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
            ctx.err << "Файл «" << shown(path) << "» не удаётся прочитать; файлы не изменены.\n";
            return ExitCode::LoadFailed;
        }
        QByteArray bytes = file.readAll();
        const bool marked = bytes.startsWith("\xEF\xBB\xBF");
        QByteArrayView text(bytes);
        if (marked) text = text.sliced(3);
        textfile::Utf8Scan scan;
        scan.Feed(text.data(), text.size());
        if (scan.Invalid()) {
            if (marked) {
                ctx.err << "Файл «" << shown(path)
                        << "» начинается с метки UTF-8, но дальше не UTF-8; файлы не изменены.\n";
                return ExitCode::LoadFailed;
            }
            ctx.out << name << ": уже в windows-1251, не изменён\n";
            continue;
        }
        if (!marked && !scan.IsUtf8Text()) {
            ctx.out << name << ": только латинские знаки, перекодировать нечего\n";
            continue;
        }
        QString reason;
        std::optional<QByteArray> converted = toCp1251(path, text, reason);
        if (!converted) {
            ctx.err << reason << "\n";
            return ExitCode::LoadFailed;
        }
        if (QFileInfo::exists(path + QStringLiteral(".utf8.bak"))) {
            ctx.err << "Файл «" << shown(path + QStringLiteral(".utf8.bak"))
                    << "» уже есть: уберите его, чтобы не потерять; файлы не изменены.\n";
            return ExitCode::LoadFailed;
        }
        work.push_back({path, std::move(bytes), std::move(*converted)});
    }

    // Both files are checked before either is touched; the old ones are kept first.
    try {
        for (const Recoding& r : work) {
            textfile::AtomicWriter bak(r.path + QStringLiteral(".utf8.bak"));
            bak.WriteBytes(r.original);
            bak.Commit();
        }
        for (const Recoding& r : work) {
            textfile::AtomicWriter out(r.path);
            out.WriteBytes(r.converted);
            out.Commit();
            ctx.out << QFileInfo(r.path).fileName()
                    << ": перекодирован из UTF-8 в windows-1251, прежний файл — "
                    << QFileInfo(r.path).fileName() << ".utf8.bak\n";
        }
    } catch (const VestranaError& e) {
        ctx.err << "Ошибка сохранения: " << e.message() << "\n";
        return ExitCode::SaveFailed;
    }
    return ExitCode::Ok;
}

} // namespace

const Command& RecodeCommand()
{
    static const Recode command;
    return command;
}
