// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "cli/Command.h"
#include "cli/StopSignals.h"

#include "import/ImportRun.h"
#include "platform/Errors.h"
#include "program/Program.h"

#include <QUrl>

namespace {

class Import final : public Command
{
public:
    Import()
        : Command("import", Access::Writes,
                  "загрузить объявления с сайта: [--site АДРЕС] [--clear] [--append-all] [--max-new N]",
                  "import [--site АДРЕС] [--clear] [--append-all] [--max-new N]")
    {
    }
    QList<QCommandLineOption> Options() const override { return {m_site, m_clear, m_appendAll, m_maxNew}; }
    ExitCode Run(CliContext& ctx) const override;

private:
    const QCommandLineOption m_site{
        QStringLiteral("site"),
        QStringLiteral("адрес сайта объявлений (иначе VESTRANA_SITE или сайт по умолчанию)"),
        QStringLiteral("АДРЕС")};
    const QCommandLineOption m_clear{QStringLiteral("clear"),
                                     QStringLiteral("очистить базу, как только получено первое объявление")};
    const QCommandLineOption m_appendAll{
        QStringLiteral("append-all"),
        QStringLiteral("добавлять каждое объявление, не обновляя квартиры, которые уже есть в базе")};
    const QCommandLineOption m_maxNew{
        QStringLiteral("max-new"),
        QStringLiteral("остановиться, добавив N новых объявлений (по умолчанию 1000000; 0 — без предела)"),
        QStringLiteral("N")};
};

ExitCode Import::Run(CliContext& ctx) const
{
    const QString site =
        ctx.parser.isSet(m_site) ? SiteAddressFrom(ctx.parser.value(m_site)) : ListingSiteAddress();
    const bool clear = ctx.parser.isSet(m_clear);
    ImportOptions options;
    if (ctx.parser.isSet(m_appendAll))
        options.updateExisting = false; // copies of flats already held are appended too
    if (ctx.parser.isSet(m_maxNew)) {
        const QString value = ctx.parser.value(m_maxNew);
        bool ok = false;
        options.maxNewListings = value.toLongLong(&ok);
        if (!ok || options.maxNewListings < 0) {
            ctx.err << "Неверное число новых объявлений: «" << value << "»\n";
            return ExitCode::Usage;
        }
    }
    const QUrl siteUrl(site);
    if (!siteUrl.isValid() || siteUrl.host().isEmpty() ||
        (siteUrl.scheme() != QLatin1String("http") && siteUrl.scheme() != QLatin1String("https"))) {
        ctx.err << "Неверный адрес сайта: «" << site
                << "». Нужен адрес вида http://127.0.0.1:" << kDemoSitePort << "\n";
        return ExitCode::Usage;
    }

    Program& program = NewProgram(ctx);
    if (!LoadProgram(ctx, program)) return ExitCode::LoadFailed;
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
            return ExitCode::SaveFailed;
        }
        ctx.out << "Файл database.txt сохранён, записей: " << program.Records.Items.Count() << ".\n";
    }
    // A run that gave up on the site is told apart from one that was stopped.
    if (result.gaveUp) return ExitCode::ImportGaveUp;
    return result.completed ? ExitCode::Ok : ExitCode::Stopped;
}

} // namespace

const Command& ImportCommand()
{
    static const Import command;
    return command;
}
