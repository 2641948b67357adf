// A plant link in a process of its own, for the tests that kill it: it reads the [Mqtt] lines
// of the file named on its command line, publishes the fake boards and runs until killed.
// Its log lines go to stderr.

#include "FakePlant.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QFile file(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString());
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "usage: plantlink_probe CONFIG\n");
        return 2;
    }
    const MqttConfigResult result =
        ParseMqttConfig(file.fileName(), 1, IniLines(QString::fromUtf8(file.readAll())),
                        FakeBoards(), QStringLiteral("probe"));
    if (!result.config) {
        std::fprintf(stderr, "%s\n", qPrintable(result.errors.join(u'\n')));
        return 2;
    }
    FakePlant plant;
    PlantLink link(*result.config, FakeBoards(), plant.source(), 10);
    QObject::connect(&link, &PlantLink::logMessage,
                     [](const QString &line) { std::fprintf(stderr, "%s\n", qPrintable(line)); });
    QString error;
    if (!link.Start(&error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    return app.exec();
}
