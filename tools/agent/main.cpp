// orvane-agent: the boards' flight recorder, and their plant link when configured.
#include "Agent.h"
#include "ModbusComponent.h"
#include "MqttComponent.h"
#include "Watchdog.h"
#include "config/Settings.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

void OnSignal(int signal)
{
    const int saved = errno;
    const char byte = char(signal);
    [[maybe_unused]] const ssize_t n = write(g_signalPipe[1], &byte, 1);
    errno = saved;
}

// SIGTERM, SIGINT and SIGHUP reach the event loop through a pipe; SIGPIPE is ignored.
bool InstallSignals(Agent *agent)
{
    if (pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    auto *notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, agent);
    QObject::connect(notifier, &QSocketNotifier::activated, agent, [agent] {
        char byte = 0;
        while (read(g_signalPipe[0], &byte, 1) == 1) {
            if (byte == SIGHUP)
                agent->Reload();
            else
                agent->Stop();
        }
    });
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signal, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    return true;
}

void PrintVersion(const QString &executableDir)
{
    std::printf("orvane-agent (Orvane) %s\n", ORVANE_AGENT_VERSION);
    DeviceLibrary library;
    DeviceLoadError error;
    if (!library.Load(Settings::ToolLibraryPath(executableDir), &error))
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
    // The program's names, so that its per-user settings and names files are the ones read.
    QCoreApplication::setApplicationName(QStringLiteral("Orvane"));
    QCoreApplication::setOrganizationName(QStringLiteral("Orvane"));

    AgentOptions options;
    QString error;
    if (!AgentOptions::Parse(app.arguments().mid(1), &options, &error)) {
        AgentLog(error);
        std::fprintf(stderr, "Try \"orvane-agent --help\".\n");
        return kAgentUsage;
    }
    if (options.help) {
        std::fputs(qPrintable(AgentOptions::HelpText()), stdout);
        return kAgentOk;
    }
    if (options.version) {
        PrintVersion(QCoreApplication::applicationDirPath());
        return kAgentOk;
    }
    Agent agent(options, QCoreApplication::applicationDirPath());
    // The watchdog goes last: the components that feed it stop before it goes.
    auto watchdog = std::make_unique<Watchdog>();
    agent.AddComponent(std::make_unique<MqttComponent>(watchdog.get()));
    agent.AddComponent(std::make_unique<ModbusComponent>(watchdog.get()));
    agent.AddComponent(std::move(watchdog));
    if (!InstallSignals(&agent)) {
        AgentLog(QStringLiteral("cannot make the signal pipe"));
        return kAgentRefused;
    }
    if (const int status = agent.Start(); status >= 0)
        return status;
    return app.exec();
}
