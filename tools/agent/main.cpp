// orvane-agent: the boards' flight recorder, and their plant link when configured.
#include "Agent.h"
#include "ModbusComponent.h"
#include "MqttComponent.h"
#include "Watchdog.h"
#include "config/Settings.h"
#include "process/EndSignals.h"

#include <QCoreApplication>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>

namespace {

void PrintVersion(const QString &libraryPath)
{
    std::printf("orvane-agent (Orvane) %s\n", ORVANE_AGENT_VERSION);
    DeviceLibrary library;
    DeviceLoadError error;
    if (!library.Load(libraryPath, &error))
        std::printf("device library: not usable\n%s\n", qPrintable(error.text()));
    else
        std::printf("device library: %s%s\n", qPrintable(library.FilePath()),
                    library.IsSimulated() ? " (simulated boards)" : "");
}

} // namespace

int main(int argc, char **argv)
{
    // A standard stream started closed would give its number to the database or its lock.
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) < 0 && errno == EBADF && open("/dev/null", O_RDONLY) != fd)
            return kAgentRefused;
    }
    QCoreApplication app(argc, argv);
    // The program's names (the agent reads no user's settings or names files).
    QCoreApplication::setApplicationName(QStringLiteral("Orvane"));
    QCoreApplication::setOrganizationName(QStringLiteral("Orvane"));

    AgentOptions options;
    QString error;
    if (!AgentOptions::Parse(app.arguments().mid(1), &options, &error)) {
        AgentError(error);
        std::fprintf(stderr, "Try \"orvane-agent --help\".\n");
        return kAgentUsage;
    }
    if (options.help) {
        std::fputs(qPrintable(AgentOptions::HelpText()), stdout);
        return kAgentOk;
    }
    Agent agent(options, QCoreApplication::applicationDirPath());
    // The watchdog goes last: the components that feed it stop before it goes.
    auto watchdog = std::make_unique<Watchdog>();
    agent.AddComponent(std::make_unique<MqttComponent>(watchdog.get()));
    agent.AddComponent(std::make_unique<ModbusComponent>(watchdog.get()));
    agent.AddComponent(std::move(watchdog));
    if (options.version) {
        PrintVersion(agent.DeviceLibraryPath());
        return kAgentOk;
    }
    // SIGHUP reads the configuration again; SIGTERM and SIGINT end the agent.
    const EndSignals endSignals([&agent](int signal) {
        if (signal == SIGHUP)
            agent.Reload();
        else
            agent.Stop();
    });
    if (!endSignals.isValid()) {
        AgentError(QStringLiteral("cannot make the signal pipe"));
        return kAgentRefused;
    }
    if (const int status = agent.Start(); status >= 0)
        return status;
    return app.exec();
}
