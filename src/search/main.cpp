#include "platform/Errors.h"
#include "platform/FolderLock.h"
#include "platform/GuiPrompts.h"
#include "search/GuiApplication.h"
#include "search/MainForm.h"
#include "search/Program.h"

#include <QLibraryInfo>
#include <QMessageBox>
#include <QTextStream>
#include <QTranslator>

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
    GuiApplication app(argc, argv);
    GuiApplication::setApplicationName(QStringLiteral("Vestrana"));
    GuiApplication::setQuitOnLastWindowClosed(false);
    // From the start on, a termination signal becomes a normal close of the
    // main window (queued until the event loop runs).
    app.WatchTerminationSignals();

    // Qt's own texts (context menus of the boxes) in Russian where the translation is installed.
    QTranslator qtTranslator;
    if (qtTranslator.load(QLocale(QLocale::Russian), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        GuiApplication::installTranslator(&qtTranslator);

    GuiPrompts prompts;
    Program program;
    program.UserPrompts = &prompts;

    // One program at a time changes a data folder; a second one opens nothing.
    std::unique_ptr<QLockFile> lock;
    try {
        lock = LockDataFolder(program.DataDir);
    } catch (const VestranaError& e) {
        showStartError(app, e.message());
        return 75;
    }

    MainForm form(program);
    try {
        form.StartUp();
    } catch (const VestranaError& e) {
        showStartError(app, QStringLiteral("Не удалось загрузить данные.\n%1\n\nПрограмма закрывается; файлы "
                                           "данных не изменены.")
                                .arg(e.message()));
        return 1;
    }
    QObject::connect(&form, &MainForm::shutDown, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    QObject::connect(&app, &GuiApplication::terminationRequested, &form, &QWidget::close);
    form.show();
    return GuiApplication::exec();
}
