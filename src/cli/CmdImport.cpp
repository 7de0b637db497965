// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "cli/Cli.h"

#include "import/ImportRun.h"
#include "platform/Errors.h"
#include "program/Program.h"
#include "sample/DemoSite.h"

#include <QCoreApplication>
#include <QTimer>
#include <QUrl>

#include <cmath>
#include <csignal>

namespace {

volatile std::sig_atomic_t g_stop = 0;

extern "C" void onStopSignal(int)
{
    g_stop = 1;
}

// Ctrl-C and a termination request set the stop flag instead of ending the
// process, so that what was imported is still saved.
class StopSignals
{
public:
    StopSignals()
    {
        g_stop = 0;
        struct sigaction sa = {};
        sa.sa_handler = onStopSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        sigaction(SIGINT, &sa, &m_int);
        sigaction(SIGTERM, &sa, &m_term);
    }
    ~StopSignals()
    {
        sigaction(SIGINT, &m_int, nullptr);
        sigaction(SIGTERM, &m_term, nullptr);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    static bool Raised() { return g_stop != 0; }

private:
    struct sigaction m_int = {};
    struct sigaction m_term = {};
};

// The value of an option given as "--name VALUE" or "--name=VALUE" at args[i].
bool optionValue(const QStringList& args, int& i, const QString& name, QString& value)
{
    const QString& arg = args[i];
    if (arg == name && i + 1 < args.size()) {
        value = args[++i];
        return true;
    }
    if (arg.startsWith(name + u'=')) {
        value = arg.mid(name.size() + 1);
        return true;
    }
    return false;
}

} // namespace

int CmdImport(CliContext& ctx)
{
    QString site = ListingSiteAddress();
    bool clear = false;
    ImportOptions options;
    for (int i = 0; i < ctx.args.size(); ++i) {
        QString value;
        if (optionValue(ctx.args, i, QStringLiteral("--site"), value)) {
            site = SiteAddressFrom(value);
        } else if (ctx.args[i] == QLatin1String("--clear")) {
            clear = true;
        } else if (ctx.args[i] == QLatin1String("--append-all")) {
            options.updateExisting = false; // copies of flats already held are appended too
        } else if (optionValue(ctx.args, i, QStringLiteral("--max-new"), value)) {
            bool ok = false;
            options.maxNewListings = value.toLongLong(&ok);
            if (!ok || options.maxNewListings < 0) {
                ctx.err << "Неверное число новых объявлений: «" << value << "»\n";
                return 64;
            }
        } else {
            ctx.err << "Неизвестный параметр: " << ctx.args[i]
                    << "\nИспользование: import [--site АДРЕС] [--clear] [--append-all] [--max-new N]\n";
            return 64;
        }
    }
    const QUrl siteUrl(site);
    if (!siteUrl.isValid() || siteUrl.host().isEmpty() ||
        (siteUrl.scheme() != QLatin1String("http") && siteUrl.scheme() != QLatin1String("https"))) {
        ctx.err << "Неверный адрес сайта: «" << site
                << "». Нужен адрес вида http://127.0.0.1:" << kDemoSitePort << "\n";
        return 64;
    }

    Program& program = NewProgram(ctx);
    if (!LoadProgram(ctx, program)) return 2;
    // Emptied by the run once it has its first listing, never before.
    options.clearFirst = clear;

    ImportResult result;
    {
        const StopSignals stopSignals;
        LoaderPageSource pages;
        ImportHooks hooks;
        hooks.log = [&ctx](const QString& line) {
            ctx.out << line << '\n';
            ctx.out.flush();
        };
        hooks.stopRequested = [] { return StopSignals::Raised(); };
        hooks.UseEventLoop(0);
        result = SyncStart(program, site, pages, hooks, options);
    }

    if (result.taken == 0) {
        // Nothing came from the site: the file stays exactly as it was.
        ctx.out << "Файл database.txt не изменён, записей: " << program.Records.Items.Count() << ".\n";
    } else {
        try {
            program.SaveDatabase();
        } catch (const VestranaError& e) {
            ctx.err << "Ошибка сохранения: " << e.message() << "\nФайл database.txt не изменён.\n";
            return 3;
        }
        ctx.out << "Файл database.txt сохранён, записей: " << program.Records.Items.Count() << ".\n";
    }
    // A run that gave up on the site is told apart from one that was stopped.
    if (result.gaveUp) return 4;
    return result.completed ? 0 : 130;
}

int CmdDemoSite(CliContext& ctx)
{
    DemoSite::Options options;
    int port = kDemoSitePort;
    double seconds = 0;
    for (int i = 0; i < ctx.args.size(); ++i) {
        QString value;
        bool ok = true;
        if (optionValue(ctx.args, i, QStringLiteral("--port"), value)) {
            port = value.toInt(&ok);
            ok = ok && port >= 0 && port <= 65535;
        } else if (optionValue(ctx.args, i, QStringLiteral("--seconds"), value)) {
            seconds = value.toDouble(&ok);
            ok = ok && std::isfinite(seconds) && seconds > 0 && seconds < 1e7;
        } else if (optionValue(ctx.args, i, QStringLiteral("--count"), value)) {
            options.count = value.toInt(&ok);
            ok = ok && options.count >= 0;
        } else {
            ok = false;
        }
        if (!ok) {
            ctx.err << "Неверный параметр: " << ctx.args[i]
                    << "\nИспользование: demo-site [--port ПОРТ] [--seconds СЕКУНДЫ] [--count ОБЪЯВЛЕНИЙ]\n";
            return 64;
        }
    }

    DemoSite site(options);
    if (!site.Listen(static_cast<quint16>(port))) {
        ctx.err << "Не удалось открыть порт " << port << " на 127.0.0.1: " << site.ErrorText() << "\n";
        return 2;
    }
    ctx.out << "Демонстрационный сайт объявлений: " << site.Address() << " (объявлений: " << options.count
            << ")\n";
    if (seconds > 0)
        ctx.out << "Сайт закроется через " << QString::number(seconds).replace(u'.', u',') << " с.\n";
    ctx.out.flush();

    const StopSignals stopSignals;
    if (seconds > 0)
        QTimer::singleShot(static_cast<int>(std::ceil(seconds * 1000)), QCoreApplication::instance(),
                           &QCoreApplication::quit);
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [] {
        if (StopSignals::Raised()) QCoreApplication::quit();
    });
    watch.start(100);
    QCoreApplication::exec();
    ctx.out << "Сайт закрыт, запросов: " << site.Requests() << ".\n";
    return 0;
}
