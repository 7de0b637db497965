#include "gui/GuiApplication.h"
#include "gui/GuiPrompts.h"
#include "gui/MainForm.h"
#include "platform/DataFolder.h"
#include "platform/Errors.h"
#include "platform/FolderLock.h"
#include "platform/Heap.h"
#include "platform/Version.h"
#include "program/Program.h"

#include <QIcon>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QTextStream>
#include <QTranslator>

#include <cstdio>
#include <cstring>

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

} // namespace

int main(int argc, char** argv)
{
    heap::PrepareForLargeData();
    // Answered before the window system is reached, so it works without a display too.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("vestrana %s\n", ProgramVersion().toUtf8().constData());
            return 0;
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
        dataFolder = SelectDataFolder(CurrentDataFolderFacts());
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
