#include "OrvaneBuild.h"
#include "app/MainFrame.h"
#include "app/VelmarApp.h"
#include "process/EndSignals.h"

#include <QApplication>
#include <QTimer>
#include <cstdio>

#include <sys/resource.h>

int main(int argc, char *argv[])
{
    QApplication qtApp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Orvane"));
    QApplication::setOrganizationName(QStringLiteral("Orvane"));
    QApplication::setApplicationVersion(QStringLiteral(ORVANE_VERSION));
    // A Wayland session matches the window with the desktop entry by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral(ORVANE_APP_ID));

    CVelmarApp app(QApplication::applicationDirPath());
    if (!app.InitInstance())
        return 1;
    // Asked to end by the session or the terminal: end in order, as Exit does, without the
    // questions nobody may be there to answer.
    EndSignals endSignals([&app](int) { app.EndWithoutQuestions(); });

    // For the start-up benchmark: say when the main window is on the screen and the CPU time
    // it took (ms), then quit.
    if (qEnvironmentVariableIsSet("ORVANE_QUIT_WHEN_SHOWN")) {
        QTimer::singleShot(0, [] {
            rusage usage{};
            getrusage(RUSAGE_SELF, &usage);
            std::printf("shown %.3f\n",
                        (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
                            (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3);
            std::fflush(stdout);
            QApplication::quit();
        });
    }
    const int result = QApplication::exec();
    app.ExitInstance();
    return result;
}
