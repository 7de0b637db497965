// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "cli/Command.h"
#include "cli/StopSignals.h"

#include "import/ImportRun.h"
#include "sample/DemoSite.h"

#include <QCoreApplication>
#include <QTimer>

#include <cmath>

namespace {

class DemoSiteCmd final : public Command
{
public:
    DemoSiteCmd()
        : Command("demo-site", Access::ReadOnly,
                  "демонстрационный сайт на 127.0.0.1: [--port ПОРТ] [--seconds СЕКУНДЫ] [--count N]",
                  "demo-site [--port ПОРТ] [--seconds СЕКУНДЫ] [--count ОБЪЯВЛЕНИЙ]")
    {
    }
    QList<QCommandLineOption> Options() const override { return {m_port, m_seconds, m_count}; }
    ExitCode Run(CliContext& ctx) const override;

private:
    const QCommandLineOption m_port{
        QStringLiteral("port"),
        QStringLiteral("порт на 127.0.0.1 (по умолчанию %1; 0 — любой свободный)").arg(kDemoSitePort),
        QStringLiteral("ПОРТ")};
    const QCommandLineOption m_seconds{QStringLiteral("seconds"),
                                       QStringLiteral("закрыть сайт через столько секунд"),
                                       QStringLiteral("СЕКУНДЫ")};
    const QCommandLineOption m_count{QStringLiteral("count"), QStringLiteral("число объявлений на сайте"),
                                     QStringLiteral("ОБЪЯВЛЕНИЙ")};
};

ExitCode DemoSiteCmd::Run(CliContext& ctx) const
{
    DemoSite::Options options;
    int port = kDemoSitePort;
    double seconds = 0;
    for (const QCommandLineOption* option : {&m_port, &m_seconds, &m_count}) {
        if (!ctx.parser.isSet(*option)) continue;
        const QString value = ctx.parser.value(*option);
        bool ok = true;
        if (option == &m_port) {
            port = value.toInt(&ok);
            ok = ok && port >= 0 && port <= 65535;
        } else if (option == &m_seconds) {
            seconds = value.toDouble(&ok);
            ok = ok && std::isfinite(seconds) && seconds > 0 && seconds < 1e7;
        } else {
            options.count = value.toInt(&ok);
            ok = ok && options.count >= 0;
        }
        if (!ok)
            return UsageError(
                ctx, QStringLiteral("Неверный параметр: --%1 %2").arg(option->names().first(), value));
    }

    DemoSite site(options);
    if (!site.Listen(static_cast<quint16>(port))) {
        ctx.err << "Не удалось открыть порт " << port << " на 127.0.0.1: " << site.ErrorText() << "\n";
        return ExitCode::LoadFailed;
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
    return ExitCode::Ok;
}

} // namespace

const Command& DemoSiteCommand()
{
    static const DemoSiteCmd command;
    return command;
}
