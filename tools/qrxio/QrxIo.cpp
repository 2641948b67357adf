#include "QrxIo.h"

#include "Commands.h"
#include "config/ProfileFile.h"
#include "config/Settings.h"
#include "device/CardCatalogue.h"
#include "device/SystemLoad.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

QrxIo::QrxIo(const Arguments &arguments, const QString &executableDir)
    : args(arguments)
    , out(arguments.json)
    , m_executableDir(executableDir)
{
}

int QrxIo::Run()
{
    if (args.help || args.command == "help") {
        std::fputs(qPrintable(HelpText()), stdout);
        return kExitOk;
    }
    if (args.version) {
        PrintVersion();
        return kExitOk;
    }
    if (args.command.isEmpty())
        return UsageError(QStringLiteral("a command is missing"));
    const Command *command = FindCommand(args.command);
    if (!command)
        return UsageError(QStringLiteral("unknown command %1").arg(Quoted(args.command)));
    if (int status = CheckOperands(*command))
        return status;
    if (int status = BindLibrary())
        return status;
    if (int status = LoadSystem(LoadingMode()))
        return status;

    int status = RunLoaded(*command);
    if (const int32_t unload = Dev().DXS_devSysUnload(); unload < 0) {
        Refused(QStringLiteral("DXS_devSysUnload()"), unload);
        status = status ? status : kExitRefused;
    }
    if (!out.Flush() && !out.gone()) {
        Output::Message(QStringLiteral("cannot write the output: %1").arg(strerror(errno)));
        status = status ? status : kExitRefused;
    }
    return status;
}

int QrxIo::CheckOperands(const Command &command)
{
    const QStringList &ops = args.operands;
    if (ops.size() < command.minOperands || ops.size() > command.maxOperands)
        return UsageError(
            QStringLiteral("wrong number of arguments for %1").arg(Quoted(args.command)));
    const qsizetype cardCount = command.cards == CardOperands::All ? ops.size()
        : command.cards == CardOperands::First ? std::min<qsizetype>(ops.size(), 1)
                                               : 0;
    for (qsizetype i = 0; i < cardCount; ++i) {
        const std::optional<int32_t> card = ParseCard(ops[i]);
        if (!card)
            return UsageError(QStringLiteral("%1 is not a card number").arg(Quoted(ops[i])));
        if (std::find(cards.begin(), cards.end(), *card) == cards.end())
            cards.push_back(*card);
    }
    if (int status = command.check ? command.check(*this) : kExitOk)
        return status;
    // A point named twice would be read twice, or written twice with the first value lost.
    for (size_t i = 0; i < points.size(); ++i) {
        for (size_t j = 0; j < i; ++j) {
            if (points[i].point == points[j].point)
                return UsageError(QStringLiteral("point %1 is named twice").arg(points[i].point));
        }
    }
    if (args.logFile) {
        args.logFile = QFileInfo(*args.logFile).absoluteFilePath();
        if (args.logFile->toLocal8Bit().size() >= kPathBytes)
            return UsageError(
                QStringLiteral("the log file's path is longer than %1 bytes").arg(kPathBytes - 1));
    }
    return kExitOk;
}

int32_t QrxIo::LoadingMode() const
{
    if (args.mode)
        return *args.mode;
    // The program's own settings file, read as the program reads it; it is not created here.
    const QByteArray text =
        Settings::ReadLoadingModeText(Settings::ChooseSettingsPath(m_executableDir));
    return text.isEmpty() ? DXS_LOAD_AUTO : Atoi(text);
}

void QrxIo::LoadNames()
{
    names.Load(PointNames::PathBeside(Settings::ChooseSettingsPath(m_executableDir)));
}

QString QrxIo::LibraryPath() const
{
    const QString path = DeviceLibrary::DefaultPath(m_executableDir);
    // Installed, the library lies in the package's private folder rather than beside us.
    const QString installed = QDir::cleanPath(
        QDir(m_executableDir)
            .filePath(QStringLiteral("../lib/orvane/") + DeviceLibrary::FileName()));
    if (qEnvironmentVariable("ORVANE_DEVICE_LIBRARY").isEmpty() && !QFileInfo::exists(path) &&
        QFileInfo::exists(installed))
        return installed;
    return path;
}

// The version, then the device library a command would use and whether its boards are
// simulated. The library is bound but never loaded: no device function is called.
void QrxIo::PrintVersion()
{
    std::printf("qrxio (Orvane) %s\n", QRXIO_VERSION);
    DeviceLoadError error;
    if (!m_library.Load(LibraryPath(), &error)) {
        std::printf("device library: not usable\n%s\n", qPrintable(error.text()));
        return;
    }
    std::printf("device library: %s%s\n", qPrintable(m_library.FilePath()),
                m_library.IsSimulated() ? " (simulated boards)" : "");
}

int QrxIo::BindLibrary()
{
    DeviceLoadError error;
    if (!m_library.Load(LibraryPath(), &error))
        return RefusedWith(LoadFailureText(DeviceTable::kNotLoaded) + u'\n' + error.text());
    SetDeviceTable(m_library.Table());
    return kExitOk;
}

int QrxIo::LoadSystem(int32_t mode)
{
    int32_t count = 0;
    const int32_t status = Dev().DXS_devSysLoad(mode, &count);
    if (status >= 0)
        return kExitOk;
    const QString modeName = mode == DXS_LOAD_AUTO ? QStringLiteral("auto")
        : mode == DXS_LOAD_MANUAL                  ? QStringLiteral("manual")
                                                   : QString::number(mode);
    const QString call = QStringLiteral("DXS_devSysLoad(mode=%1)").arg(mode);
    if (status != DXS_ERR_OPEN_MODE)
        return RefusedWith(QStringLiteral("%1 (%2 failed with status %3)")
                               .arg(LoadFailureText(status), call)
                               .arg(status));
    // The program asks whether to retry in the other mode; a command line says how to.
    const QString other = mode == DXS_LOAD_AUTO ? QStringLiteral("manual") : QStringLiteral("auto");
    return RefusedWith(QStringLiteral("%1 (%2 failed with status %3 in %4 mode)\n"
                                      "try the other loading mode: --mode %5")
                           .arg(OpenModeQuestion().section(u'\n', 0, 0), call)
                           .arg(status)
                           .arg(modeName, other));
}

int QrxIo::RunLoaded(const Command &command)
{
    if (args.logFile) {
        const QByteArray path = args.logFile->toLocal8Bit();
        if (int32_t status = Dev().DXS_devDLogSetFile(path.constData()); status < 0)
            return Refused(QStringLiteral("DXS_devDLogSetFile(%1)").arg(*args.logFile), status);
    }
    if (args.logLevel) {
        if (int32_t status = Dev().DXS_devDLogSetLevel(*args.logLevel); status < 0)
            return Refused(QStringLiteral("DXS_devDLogSetLevel(level=%1)").arg(*args.logLevel),
                           status);
    }
    if (int32_t status = Dev().DXS_devGnGetMotDevMap(map.bytes); status < 0)
        return Refused(QStringLiteral("DXS_devGnGetMotDevMap()"), status);

    // Every card named must be in the map before anything is done to any board.
    for (int32_t card : cards) {
        if (CardIndexOf(map, map.mapCount(), card) < 0) {
            QStringList known;
            for (int i = 0; i < map.boardSlots(); ++i)
                known << QString::number(map.cardNo(i));
            return UsageError(QStringLiteral("card %1 is not in the card map (%2)")
                                  .arg(card)
                                  .arg(known.isEmpty() ? QStringLiteral("it holds no boards")
                                                       : "its cards: " + known.join(", ")));
        }
    }
    return command.run(*this);
}

int QrxIo::FindBoard(int32_t cardNo, Board *board)
{
    board->cardNo = cardNo;
    board->inputs = board->outputs = 0;
    const int32_t status = Dev().DXS_devGnGetDioNum(cardNo, &board->inputs, &board->outputs);
    if (status < 0)
        return Refused(QStringLiteral("DXS_devGnGetDioNum(card=%1)").arg(cardNo), status);
    return kExitOk;
}

int QrxIo::CheckPoints(const Board &board, bool outputs)
{
    const int count = BoundPoints(outputs ? board.outputs : board.inputs);
    const QString kind = outputs ? QStringLiteral("output") : QStringLiteral("input");
    for (const PointValue &p : points) {
        if (p.point >= count)
            return UsageError(QStringLiteral("%1 is not an %2 of card %3 (%4)")
                                  .arg(p.point)
                                  .arg(kind)
                                  .arg(board.cardNo)
                                  .arg(count ? QStringLiteral("0..%1").arg(count - 1)
                                             : QStringLiteral("it has none")));
    }
    return kExitOk;
}
