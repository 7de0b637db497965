// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "gui/GuiApplication.h"
#include "gui/GuiPrompts.h"
#include "gui/MainForm.h"
#include "platform/DataFolder.h"
#include "platform/Errors.h"
#include "platform/FolderLock.h"
#include "platform/Heap.h"
#include "platform/Version.h"
#include "program/Program.h"

#include <QDir>
#include <QIcon>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QTextStream>
#include <QTranslator>

#include <algorithm>
#include <cstdio>
#include <iterator>

namespace {

// The error that ends a start, also on the error stream for whoever started the
// program. A termination signal closes the box: the program ends, writing nothing.
void showStartError(GuiApplication& app, const QString& text)
{
    QTextStream(stderr) << text << Qt::endl;
    QMessageBox box(QMessageBox::Critical, AppTitle(), text, QMessageBox::Ok);
    QObject::connect(&app, &GuiApplication::terminationRequested, &box, &QDialog::reject);
    box.exec();
}

// A wrong command line: the same code as the console tool's.
constexpr int kUsageError = 64;

// Qt's own options (QGuiApplication, QApplication, xcb); Qt takes them out of
// the arguments itself, so they only have to pass here. Qt reads "--x" as "-x".
constexpr const char* kQtOptionsWithValue[] = {"platform",
                                               "platformpluginpath",
                                               "platformtheme",
                                               "plugin",
                                               "qwindowgeometry",
                                               "qwindowicon",
                                               "qwindowtitle",
                                               "session",
                                               "style",
                                               "stylesheet",
                                               "display",
                                               "geometry",
                                               "title",
                                               "icon",
                                               "name",
                                               "visual",
                                               "ncols",
                                               "qmljsdebugger"};
constexpr const char* kQtFlags[] = {"reverse", "widgetcount", "nograb",     "dograb",
                                    "sync",    "cmap",        "testability"};

struct Options
{
    enum class Action { Run, Help, Version, Error };
    Action action = Action::Run;
    QString dataDir;      // empty when not given
    QString platform;     // -platform's value, empty when not given
    bool display = false; // -display given
    QString error;
};

// The command line as the console tool reads its own options: --data-dir
// FOLDER (or --data-dir=FOLDER), --help (-h), --version; besides them only
// Qt's options.
Options parseOptions(int argc, char** argv)
{
    Options o;
    const auto fail = [&o](const QString& error) {
        o.action = Options::Action::Error;
        o.error = error;
        return o;
    };
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            o.action = Options::Action::Help;
            return o;
        }
        if (arg == QLatin1String("--version")) {
            o.action = Options::Action::Version;
            return o;
        }
        if (arg == QLatin1String("--data-dir")) {
            if (i + 1 >= argc) return fail(QStringLiteral("После --data-dir нужна папка данных."));
            o.dataDir = QString::fromLocal8Bit(argv[++i]);
            continue;
        }
        if (arg.startsWith(QLatin1String("--data-dir="))) {
            o.dataDir = arg.mid(11);
            if (o.dataDir.isEmpty()) return fail(QStringLiteral("После --data-dir нужна папка данных."));
            continue;
        }
        const QString name = arg.startsWith(QLatin1String("--")) ? arg.mid(2)
                             : arg.startsWith(QLatin1Char('-'))  ? arg.mid(1)
                                                                 : QString();
        const auto is = [&name](const char* option) { return name == QLatin1String(option); };
        if (std::any_of(std::begin(kQtFlags), std::end(kQtFlags), is)) continue;
        const QString option = name.section(u'=', 0, 0);
        const auto known = std::find_if(std::begin(kQtOptionsWithValue), std::end(kQtOptionsWithValue),
                                        [&option](const char* q) { return option == QLatin1String(q); });
        if (known == std::end(kQtOptionsWithValue))
            return fail(QStringLiteral("Неизвестный параметр: %1").arg(arg));
        QString value;
        if (name.contains(u'='))
            value = name.section(u'=', 1);
        else if (i + 1 < argc)
            value = QString::fromLocal8Bit(argv[++i]);
        else
            return fail(QStringLiteral("После %1 нужно значение.").arg(arg));
        if (option == QLatin1String("platform")) o.platform = value;
        if (option == QLatin1String("display")) o.display = true;
    }
    return o;
}

void printUsage(QTextStream& s)
{
    s << "Использование: vestrana [--data-dir ПАПКА]\n"
         "Советник по выбору квартиры: десять объявлений базы, которые лучше всего подходят к пожеланиям.\n"
         "  --data-dir ПАПКА — взять database.txt и knows.txt из этой папки (она должна существовать)\n"
         "  --version — версия программы\n"
         "  --help, -h — эта справка\n"
         "Без --data-dir файлы берутся из папки программы, а у установленной программы — из папки\n"
         "пользователя (~/.local/share/vestrana); окно справки называет папку.\n"
         "Принимаются и параметры Qt, например -platform или -style.\n"
         "Без экрана работает консольная версия: vestrana-cli --help\n";
}

// Whether Qt would find no window system to open the window on; it would abort
// the program then. The platform comes from -platform or QT_QPA_PLATFORM, and
// the default one needs an X or a Wayland display.
bool noDisplay(const Options& o)
{
    const QString platform =
        (o.platform.isEmpty() ? qEnvironmentVariable("QT_QPA_PLATFORM") : o.platform).section(u':', 0, 0);
    const bool x = o.display || !qEnvironmentVariableIsEmpty("DISPLAY");
    const bool wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (platform.isEmpty()) return !x && !wayland;
    if (platform == QLatin1String("xcb")) return !x;
    return false; // offscreen, wayland, eglfs, vnc...: Qt's own matter
}

} // namespace

int main(int argc, char** argv)
{
    heap::PrepareForLargeData();
    // The command line is answered before the window system is reached, so it
    // works without a display too.
    const Options options = parseOptions(argc, argv);
    {
        QTextStream out(stdout);
        QTextStream err(stderr);
        switch (options.action) {
        case Options::Action::Help:
            printUsage(out);
            return 0;
        case Options::Action::Version:
            out << "vestrana " << ProgramVersion() << Qt::endl;
            return 0;
        case Options::Action::Error:
            err << options.error << "\nПараметры программы: vestrana --help" << Qt::endl;
            return kUsageError;
        case Options::Action::Run:
            break;
        }
        if (!options.dataDir.isEmpty() && !QDir(options.dataDir).exists()) {
            err << "Папка данных не существует: " << QDir::toNativeSeparators(options.dataDir) << Qt::endl;
            return 2;
        }
        if (noDisplay(options)) {
            err << "Окно программы открыть негде: нет графического экрана (переменные DISPLAY и "
                   "WAYLAND_DISPLAY пусты).\n"
                   "Запустите vestrana в графическом сеансе или укажите экран, например: DISPLAY=:0 "
                   "vestrana\n"
                   "Без экрана работает консольная версия: vestrana-cli --help"
                << Qt::endl;
            return 1;
        }
    }
    GuiApplication app(argc, argv);
    GuiApplication::setApplicationName(QStringLiteral("Vestrana"));
    GuiApplication::setApplicationVersion(ProgramVersion());
    GuiApplication::setDesktopFileName(QStringLiteral("ru.vestrana.Vestrana"));
    QIcon icon;
    for (int size : {16, 32, 48, 256})
        icon.addFile(QStringLiteral(":/img/icon-%1.png").arg(size));
    GuiApplication::setWindowIcon(icon);
    GuiApplication::setQuitOnLastWindowClosed(false);
    // From the start on, a termination signal becomes a normal close of the
    // main window (queued until the event loop runs).
    app.WatchTerminationSignals();

    // Qt's own texts (context menus of the boxes) in Russian where the translation is installed.
    QTranslator qtTranslator;
    if (qtTranslator.load(QLocale(QLocale::Russian), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        GuiApplication::installTranslator(&qtTranslator);

    DataFolder dataFolder;
    try {
        dataFolder = SelectDataFolder(CurrentDataFolderFacts(options.dataDir));
    } catch (const VestranaError& e) {
        QMessageBox::critical(nullptr, AppTitle(),
                              e.message() + QStringLiteral("\n\nПрограмма закрывается."));
        return 1;
    }

    // Every question and message of the windows goes through this one object.
    GuiPrompts prompts;
    Program program(dataFolder.Path);

    // One program at a time changes a data folder; a second one opens nothing.
    std::unique_ptr<QLockFile> lock;
    try {
        lock = LockDataFolder(program.DataDir);
    } catch (const VestranaError& e) {
        showStartError(app, e.message());
        return 75;
    }

    MainForm form(program, prompts);
    QObject::connect(&form, &MainForm::shutDown, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    QObject::connect(&app, &GuiApplication::terminationRequested, &form, &QWidget::close);
    // The window comes at once (it paints while the files load) and shows the
    // load's progress; a close asked for meanwhile follows the load.
    form.show();
    try {
        form.StartUp();
    } catch (const VestranaError& e) {
        showStartError(app, QStringLiteral("Не удалось загрузить данные.\n%1\n\nПрограмма закрывается; файлы "
                                           "данных не изменены.")
                                .arg(e.message()));
        return 1;
    }
    return GuiApplication::exec();
}
