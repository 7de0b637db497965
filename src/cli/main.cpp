// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "cli/Cli.h"

#include "platform/DataFolder.h"
#include "platform/Errors.h"
#include "platform/FolderLock.h"
#include "platform/Heap.h"
#include "platform/Text.h"
#include "platform/Version.h"
#include "program/Program.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>
#include <map>

namespace {

// A writing command while another process holds the data folder: try again later.
constexpr int kFolderBusy = 75;

using Command = int (*)(CliContext&);

// Whether a command may write the data files: such a command holds the data
// folder's lock while it runs, and one that only reads must create nothing.
enum class Access { ReadOnly, Writes };

struct CommandInfo
{
    Command run;
    Access access;
    const char* help;
};

const std::map<QString, CommandInfo>& commands()
{
    static const std::map<QString, CommandInfo> table = {
        {QStringLiteral("info"), {CmdInfo, Access::ReadOnly, "число записей и атрибуты базы знаний"}},
        {QStringLiteral("resave"),
         {CmdResave, Access::Writes,
          "загрузить и снова сохранить оба файла, как запуск и закрытие программы"}},
        {QStringLiteral("reindex"),
         {CmdReindex, Access::Writes, "индексирование базы данных с сохранением knows.txt"}},
        {QStringLiteral("search"),
         {CmdSearch, Access::ReadOnly,
          "поиск: [--wish СЛОТ=ТЕКСТ]..., СЛОТ — номер 0..13 или название атрибута; [--explain] или "
          "[--csv [--csv-separator ;|,]]"}},
        {QStringLiteral("formula"),
         {CmdFormula, Access::ReadOnly, "вычислить формулу для записи: [--listing НОМЕР] ФОРМУЛА"}},
        {QStringLiteral("import"),
         {CmdImport, Access::Writes,
          "загрузить объявления с сайта: [--site АДРЕС] [--clear] [--append-all] [--max-new N]"}},
        {QStringLiteral("dedupe"),
         {CmdDedupe, Access::Writes,
          "удалить повторы квартир, оставив самое новое объявление каждой (копия в database.txt.bak): "
          "[--dry-run]"}},
        {QStringLiteral("recode"),
         {CmdRecode, Access::Writes,
          "перекодировать database.txt и knows.txt из UTF-8 в windows-1251, старые файлы — *.utf8.bak"}},
        {QStringLiteral("repair"),
         {CmdRepair, Access::Writes,
          "перенести нечитаемые строки database.txt в database.rejected.txt (копия в database.txt.bak)"}},
        {QStringLiteral("demo-site"),
         {CmdDemoSite, Access::ReadOnly,
          "демонстрационный сайт на 127.0.0.1: [--port ПОРТ] [--seconds СЕКУНДЫ] [--count N]"}},
    };
    return table;
}

void usage(QTextStream& s)
{
    s << "Использование: vestrana-cli [--data-dir ПАПКА] КОМАНДА [ПАРАМЕТРЫ]\n"
         "Без --data-dir файлы database.txt и knows.txt берутся из папки программы, а у установленной\n"
         "программы — из папки пользователя (~/.local/share/vestrana); команда info называет папку.\n"
         "  --help, -h — эта справка; после команды — справка по ней\n"
         "  --version — версия программы\n\nКоманды:\n";
    for (const auto& [name, cmd] : commands())
        s << "  " << name << " — " << QString::fromUtf8(cmd.help) << "\n";
}

} // namespace

CliArgs SplitOptions(const QStringList& args)
{
    CliArgs r;
    const qsizetype end = args.indexOf(QStringLiteral("--"));
    r.options = end < 0 ? args : args.mid(0, end);
    if (end >= 0) r.operands = args.mid(end + 1);
    r.help = r.options.contains(QStringLiteral("--help")) || r.options.contains(QStringLiteral("-h"));
    return r;
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

int CmdInfo(CliContext& ctx)
{
    Program& program = NewProgram(ctx);
    if (!LoadProgram(ctx, program)) return 2;
    const KnowledgeBase& kb = program.Knowledge;
    ctx.out << "Папка данных: " << QDir::toNativeSeparators(ctx.dataDir) << "\n";
    ctx.out << "Записей в базе данных: " << program.Records.Items.Count() << "\n";
    ctx.out << "№\tАтрибут\tТип\tЗначений\tМинимум\tМаксимум\n";
    for (int k = 0; k < KnowledgeBase::Attributes; ++k) {
        const field::Field s = field::At(k);
        ctx.out << k << '\t' << kb.AttributeNames[s] << '\t' << kb.AttributeKinds[s].Text() << '\t'
                << kb.AttributeValueLists[s].Count() << '\t' << text::GeneralNumber(kb.AttributeMin[s])
                << '\t' << text::GeneralNumber(kb.AttributeMax[s]) << '\n';
    }
    return 0;
}

int CmdResave(CliContext& ctx)
{
    Program& program = NewProgram(ctx);
    if (!LoadProgram(ctx, program)) return 2;
    int rc = 0;
    for (bool database : {true, false}) {
        try {
            database ? program.SaveDatabase() : program.SaveKnowledge();
        } catch (const VestranaError& e) {
            ctx.err << "Ошибка сохранения: " << e.message() << "\n";
            rc = 3;
        }
    }
    return rc;
}

Program& NewProgram(CliContext& ctx)
{
    // Never deleted, and kept reachable here for leak checkers: the end of the
    // process gives its memory back at once, where freeing a million listings
    // one by one would take a good part of a second after the answer is out.
    static Program* kept = nullptr;
    Q_ASSERT(!kept);
    kept = new Program(ctx.dataDir);
    return *kept;
}

int main(int argc, char** argv)
{
    heap::PrepareForLargeData();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(ProgramVersion());
    QTextStream out(stdout);
    QTextStream err(stderr);
    out.setEncoding(QStringConverter::Utf8);
    err.setEncoding(QStringConverter::Utf8);

    QStringList args = QCoreApplication::arguments().mid(1);
    QString dataDir;
    while (!args.isEmpty() && args.first().startsWith(u'-')) {
        const QString opt = args.takeFirst();
        if (opt == QLatin1String("--")) {
            break; // the command follows
        } else if (opt == QLatin1String("--data-dir") && !args.isEmpty()) {
            dataDir = args.takeFirst();
        } else if (opt.startsWith(QLatin1String("--data-dir="))) {
            dataDir = opt.mid(11);
        } else if (opt == QLatin1String("--help") || opt == QLatin1String("-h")) {
            usage(out);
            return 0;
        } else if (opt == QLatin1String("--version")) {
            out << "vestrana-cli " << ProgramVersion() << "\n";
            return 0;
        } else {
            err << "Неизвестный параметр: " << opt << "\n";
            usage(err);
            return 64;
        }
    }
    if (args.isEmpty()) {
        usage(err);
        return 64;
    }
    const QString name = args.takeFirst();
    const auto it = commands().find(name);
    if (it == commands().end()) {
        err << "Неизвестная команда: " << name << "\n";
        usage(err);
        return 64;
    }
    // Every command answers --help alike, before it loads anything.
    if (SplitOptions(args).help) {
        out << "Использование: vestrana-cli [--data-dir ПАПКА] " << name << " [ПАРАМЕТРЫ] [--] ...\n  "
            << name << " — " << QString::fromUtf8(it->second.help)
            << "\nПосле «--» параметры не разбираются: вычислить «-3^2» можно так: formula -- -3^2\n";
        return 0;
    }
    try {
        dataDir = SelectDataFolder(CurrentDataFolderFacts(dataDir)).Path;
    } catch (const VestranaError& e) {
        err << e.message() << "\n";
        return 2;
    }
    if (!QDir(dataDir).exists()) {
        err << "Папка данных не существует: " << QDir::toNativeSeparators(dataDir) << "\n";
        return 2;
    }
    const bool writes = it->second.access == Access::Writes;
    std::unique_ptr<QLockFile> lock;
    if (writes) {
        try {
            lock = LockDataFolder(dataDir);
        } catch (const VestranaError& e) {
            err << e.message() << "\n";
            return kFolderBusy;
        }
    }
    CliContext ctx{dataDir, args, out, err, writes};
    const int rc = it->second.run(ctx);
    out.flush();
    err.flush();
    return rc;
}
