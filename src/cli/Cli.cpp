// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "cli/Cli.h"

#include "cli/Command.h"
#include "platform/DataFolder.h"
#include "platform/Errors.h"
#include "platform/FolderLock.h"
#include "platform/Version.h"
#include "program/Program.h"

#include <QDir>
#include <QLockFile>

#include <algorithm>

namespace {

const QString kDoubleDash = QStringLiteral("--");

// An option's name as it is written: "-h", "--help".
QString dashed(const QString& name)
{
    return (name.size() == 1 ? QStringLiteral("-") : kDoubleDash) + name;
}

void usage(QTextStream& s)
{
    s << "Использование: vestrana-cli [--data-dir ПАПКА] КОМАНДА [ПАРАМЕТРЫ]\n"
         "Без --data-dir файлы database.txt и knows.txt берутся из папки программы, а у установленной\n"
         "программы — из папки пользователя (~/.local/share/vestrana); команда info называет папку.\n"
         "  --help, -h — эта справка; после команды — справка по ней\n"
         "  --version — версия программы\n\nКоманды:\n";
    for (const Command* command : Commands())
        s << "  " << command->Name() << " — " << command->Summary() << "\n";
}

QCommandLineOption helpOption()
{
    return QCommandLineOption({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("эта справка"));
}

// The options before the first operand (and before "--").
QStringList optionPart(const QStringList& args)
{
    const qsizetype end = args.indexOf(kDoubleDash);
    return end < 0 ? args : args.first(end);
}

// Why the parser refused `args`, in the tool's words, naming the argument as
// it was written. The parser reads on past an unknown option, so the fault is
// either an unknown option, or an option without its value (which can only be
// the last one), or a flag given a value.
QString parseFault(const QCommandLineParser& parser, const QList<QCommandLineOption>& options,
                   const QStringList& args, const QString& missingValue)
{
    const QStringList given = optionPart(args);
    const auto bare = [](const QString& arg) {
        return arg.mid(arg.startsWith(kDoubleDash) ? 2 : 1).section(u'=', 0, 0);
    };
    const QStringList unknown = parser.unknownOptionNames();
    if (!unknown.isEmpty()) {
        for (const QString& arg : given)
            if (arg.startsWith(u'-') && bare(arg) == unknown.first())
                return QStringLiteral("Неизвестный параметр: ") + arg;
        // A letter among several after one dash.
        return QStringLiteral("Неизвестный параметр: ") + dashed(unknown.first());
    }
    for (const QString& arg : given) {
        if (!arg.startsWith(kDoubleDash) || !arg.contains(u'=')) continue;
        for (const QCommandLineOption& o : options)
            if (o.valueName().isEmpty() && o.names().contains(bare(arg)))
                return QStringLiteral("Неизвестный параметр: ") + arg;
    }
    return missingValue.arg(given.isEmpty() ? QString() : given.last());
}

// Single-dash arguments moved behind "--", for a command whose operands may
// start with a minus; the values of options and "-h" stay where they are.
QStringList dashOperandsLast(const QStringList& args, const QList<QCommandLineOption>& options)
{
    QStringList kept, moved;
    qsizetype i = 0;
    for (; i < args.size() && args[i] != kDoubleDash; ++i) {
        const QString& arg = args[i];
        const bool single = arg.size() > 1 && arg.startsWith(u'-') && !arg.startsWith(kDoubleDash);
        if (single && arg != QLatin1String("-h")) {
            moved << arg;
            continue;
        }
        kept << arg;
        if (!arg.startsWith(kDoubleDash) || arg.contains(u'=') || i + 1 >= args.size()) continue;
        for (const QCommandLineOption& o : options)
            if (!o.valueName().isEmpty() && o.names().contains(arg.mid(2))) {
                kept << args[++i];
                break;
            }
    }
    if (moved.isEmpty()) return args;
    return kept + QStringList{kDoubleDash} + args.mid(i + 1) + moved;
}

ExitCode runCommand(const Command& command, const QString& dataDirGiven, const QStringList& args,
                    QTextStream& out, QTextStream& err, ProgramMemory memory)
{
    QCommandLineParser parser;
    const QCommandLineOption help = helpOption();
    const QList<QCommandLineOption> options = command.Options();
    parser.addOption(help);
    parser.addOptions(options);
    const QStringList given = command.DashOperands() ? dashOperandsLast(args, options) : args;
    // The parser takes the first argument for the program's name.
    const bool parsed = parser.parse(QStringList{command.Name()} + given);
    CliContext ctx{QString(), parser, out, err, command.Writes(), nullptr};
    // Every command answers --help alike, before it loads anything.
    if (parser.isSet(help)) {
        out << command.Help();
        return ExitCode::Ok;
    }
    if (!parsed)
        return command.UsageError(
            ctx, parseFault(parser, options, args, QStringLiteral("После %1 нужно значение.")));
    if (!command.TakesOperands() && !parser.positionalArguments().isEmpty())
        return command.UsageError(ctx, QStringLiteral("Неизвестный параметр: ") +
                                           parser.positionalArguments().first());

    try {
        ctx.dataDir = SelectDataFolder(CurrentDataFolderFacts(dataDirGiven)).Path;
    } catch (const VestranaError& e) {
        err << e.message() << "\n";
        return ExitCode::LoadFailed;
    }
    if (!QDir(ctx.dataDir).exists()) {
        err << "Папка данных не существует: " << QDir::toNativeSeparators(ctx.dataDir) << "\n";
        return ExitCode::LoadFailed;
    }
    std::unique_ptr<QLockFile> lock;
    if (command.Writes()) {
        try {
            lock = LockDataFolder(ctx.dataDir);
        } catch (const VestranaError& e) {
            err << e.message() << "\n";
            return ExitCode::FolderBusy;
        }
    }
    const ExitCode code = command.Run(ctx);
    out.flush();
    err.flush();
    if (memory == ProgramMemory::LeftToProcessEnd && ctx.program) {
        // Kept reachable here, so that leak checkers see it held.
        static Program* kept = nullptr;
        kept = ctx.program.release();
        Q_UNUSED(kept);
    }
    return code;
}

} // namespace

ExitCode RunCli(const QStringList& args, QTextStream& out, QTextStream& err, ProgramMemory memory)
{
    QCommandLineParser parser;
    const QCommandLineOption help = helpOption();
    const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("версия программы"));
    const QCommandLineOption dataDir(QStringLiteral("data-dir"), QStringLiteral("папка данных"),
                                     QStringLiteral("ПАПКА"));
    const QList<QCommandLineOption> options{help, version, dataDir};
    parser.addOptions(options);
    // The tool's options stop at the command's word: what follows is the command's.
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const bool parsed = parser.parse(QStringList{QStringLiteral("vestrana-cli")} + args);
    if (!parsed) {
        err << parseFault(parser, options, args, QStringLiteral("После %1 нужна папка данных.")) << "\n";
        usage(err);
        return ExitCode::Usage;
    }
    if (parser.isSet(help)) {
        usage(out);
        return ExitCode::Ok;
    }
    if (parser.isSet(version)) {
        out << "vestrana-cli " << ProgramVersion() << "\n";
        return ExitCode::Ok;
    }
    QStringList rest = parser.positionalArguments();
    if (rest.isEmpty()) {
        usage(err);
        return ExitCode::Usage;
    }
    const QString name = rest.takeFirst();
    for (const Command* command : Commands())
        if (command->Name() == name)
            return runCommand(*command, parser.value(dataDir), rest, out, err, memory);
    err << "Неизвестная команда: " << name << "\n";
    usage(err);
    return ExitCode::Usage;
}

Command::Command(const char* name, Access access, const char* summary, const char* synopsis)
    : m_name(name), m_access(access), m_summary(summary), m_synopsis(synopsis)
{
}

Command::~Command() = default;

QString Command::Name() const
{
    return QString::fromLatin1(m_name);
}

QString Command::Summary() const
{
    return QString::fromUtf8(m_summary);
}

QString Command::Synopsis() const
{
    return QString::fromUtf8(m_synopsis);
}

QString Command::Help() const
{
    QList<QCommandLineOption> options = Options();
    options << helpOption();
    QStringList names;
    qsizetype width = 0;
    for (const QCommandLineOption& o : options) {
        QStringList spelled;
        for (const QString& n : o.names())
            spelled << dashed(n);
        QString shown = spelled.join(QStringLiteral(", "));
        if (!o.valueName().isEmpty()) shown += u' ' + o.valueName();
        width = std::max(width, shown.size());
        names << shown;
    }
    QString help = QStringLiteral("Использование: vestrana-cli [--data-dir ПАПКА] ") + Synopsis() +
                   QStringLiteral("\n  ") + Name() + QStringLiteral(" — ") + Summary() +
                   QStringLiteral("\n\nПараметры:\n");
    for (qsizetype i = 0; i < options.size(); ++i)
        help += QStringLiteral("  ") + names[i].leftJustified(width) + QStringLiteral("  ") +
                options[i].description() + u'\n';
    if (TakesOperands())
        help += QStringLiteral(
            "После «--» параметры не разбираются: вычислить «-3^2» можно так: formula -- -3^2\n");
    return help;
}

ExitCode Command::UsageError(CliContext& ctx, const QString& message) const
{
    if (!message.isEmpty()) ctx.err << message << "\n";
    ctx.err << "Использование: " << Synopsis() << "\n";
    return ExitCode::Usage;
}

const std::vector<const Command*>& Commands()
{
    // In the order of the list of commands, which has always been by name.
    static const std::vector<const Command*> all = {
        &DedupeCommand(), &DemoSiteCommand(), &FormulaCommand(), &ImportCommand(), &InfoCommand(),
        &RecodeCommand(), &ReindexCommand(),  &RepairCommand(),  &ResaveCommand(), &SearchCommand(),
    };
    return all;
}

Program& NewProgram(CliContext& ctx)
{
    Q_ASSERT(!ctx.program);
    ctx.program = std::make_unique<Program>(ctx.dataDir);
    return *ctx.program;
}

bool LoadProgram(CliContext& ctx, Program& program)
{
    try {
        program.StartUp(!ctx.writes);
        return true;
    } catch (const VestranaError& e) {
        ctx.err << "Ошибка загрузки: " << e.message() << "\nФайлы данных не изменены.\n";
        return false;
    }
}
