#include "QrxIo.h"

#include "Commands.h"
#include "config/ProfileFile.h"
#include "config/Settings.h"
#include "device/CardCatalogue.h"
#include "device/LoadedLibrary.h"
#include "device/StatusText.h"
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
        return out.Finish(false);
    }
    if (args.version) {
        PrintVersion();
        return out.Finish(false);
    }
    if (args.command.isEmpty())
        return UsageError(QStringLiteral("a command is missing"));
    const Command *command = FindCommand(args.command);
    if (!command)
        return UsageError(QStringLiteral("unknown command %1").arg(Quoted(args.command)));
    if (int status = CheckOperands(*command))
        return status;
    if (!command->boards) {
        const int status = command->run(*this);
        const int written = out.Finish(command->readerMayGo);
        return status ? status : written;
    }
    if (int status = bindLibrary ? BindLibrary() : kExitOk)
        return status;
    if (int status = LoadSystem(LoadingMode()))
        return status;

    int status = RunLoaded(*command);
    // What was loaded is unloaded, also with no board in the map.
    if (const int32_t unload = model.Unload(true); unload < 0) {
        Refused(model.failedCall(), unload);
        status = status ? status : kExitRefused;
    }
    // Lost output is no success; only a monitor ends well when its reader goes.
    const int written = out.Finish(command->readerMayGo);
    return status ? status : written;
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
        Settings::ReadLoadingModeText(Settings::SettingsPathToRead(m_executableDir));
    return text.isEmpty() ? DXS_LOAD_AUTO : Atoi(text);
}

void QrxIo::LoadNames()
{
    model.LoadNames(PointNames::PathBeside(Settings::SettingsPath(m_executableDir)));
    if (const QString why = model.names().loadError(); !why.isEmpty())
        Output::Message(QStringLiteral("the point names in %1 are not used: %2")
                            .arg(model.names().path(), why));
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

QString QrxIo::LibraryPath() const
{
    return Settings::DeviceLibraryPath(
        m_executableDir, Settings::ReadDeviceLibrary(Settings::SettingsPath(m_executableDir)));
}

int QrxIo::BindLibrary()
{
    DeviceLoadError error;
    if (!m_library.Load(LibraryPath(), &error))
        return RefusedWith(LoadFailureText(DeviceTable::kNotLoaded) + u'\n' + error.text());
    SetDeviceTable(m_library.Table());
    // The status texts explain the simulator's own statuses only when it is the one bound.
    SetLoadedLibrary({m_library.FilePath(), m_library.IsSimulated()});
    return kExitOk;
}

int QrxIo::LoadSystem(int32_t mode)
{
    const int32_t status = model.LoadSystem(mode);
    if (status >= 0)
        return kExitOk;
    const QString modeName = mode == DXS_LOAD_AUTO ? QStringLiteral("auto")
        : mode == DXS_LOAD_MANUAL                  ? QStringLiteral("manual")
                                                   : QString::number(mode);
    const QString call = QStringLiteral("DXS_devSysLoad(mode=%1)").arg(mode);
    // A start-up text of the status's own says what it means; the general one does not.
    if (status != DXS_ERR_OPEN_MODE)
        return RefusedWith(
            QStringLiteral("%1 (%2 failed with status %3)")
                .arg(LoadFailureText(status), call,
                     LoadTextOf(status) ? QString::number(status) : StatusText(status)));
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
    if (int32_t status = model.ReadCardMap(); status < 0)
        return Refused(model.failedCall(), status);
    if (int status = CheckCards())
        return status;
    return command.run(*this);
}

static QStringList CardTexts(const std::vector<int32_t> &cards)
{
    QStringList texts;
    for (int32_t card : cards)
        texts << QString::number(card);
    return texts;
}

// Every card named must be in the map before anything is done to any board. A card the map
// holds twice is reached as the library addresses it, which the user is told.
int QrxIo::CheckCards() const
{
    const CardMap &map = model.cardMap();
    QStringList known;
    for (int i = 0; i < map.boardSlots(); ++i)
        known << QString::number(map.cardNo(i));
    for (int32_t card : cards) {
        if (CardIndexOf(map, map.mapCount(), card) < 0)
            return UsageError(QStringLiteral("card %1 is not in the card map (%2)")
                                  .arg(card)
                                  .arg(known.isEmpty() ? QStringLiteral("it holds no boards")
                                                       : "its cards: " + known.join(", ")));
    }
    // The cards named, else every card of the map, each told once.
    QStringList told;
    for (const QString &card : cards.empty() ? known : CardTexts(cards)) {
        QStringList positions;
        for (qsizetype i = known.indexOf(card); i >= 0; i = known.indexOf(card, i + 1))
            positions << QString::number(i);
        if (positions.size() > 1 && !told.contains(card)) {
            told << card;
            Output::Message(QStringLiteral("card %1 is at %2 places of the card map (positions "
                                           "%3): a call for card %1 reaches only one of them")
                                .arg(card)
                                .arg(positions.size())
                                .arg(positions.join(", ")));
        }
    }
    return kExitOk;
}

std::vector<int32_t> QrxIo::CardsOrAll() const
{
    std::vector<int32_t> all = cards;
    for (int i = 0; cards.empty() && i < model.boardSlots(); ++i) {
        if (std::find(all.begin(), all.end(), model.cardNo(i)) == all.end())
            all.push_back(model.cardNo(i));
    }
    return all;
}

int QrxIo::ReadBoard(int32_t cardNo, const BoardInfo **board)
{
    const int position = CardIndexOf(model.cardMap(), model.cardMap().mapCount(), cardNo);
    if (int32_t status = model.ReadBoard(position); status < 0)
        return Refused(model.failedCall(), status);
    *board = &model.board(position);
    return kExitOk;
}

QString LivePointsText(uint64_t mask)
{
    QStringList ranges;
    for (int bit = 0; bit < 64; ++bit) {
        if (!(mask >> bit & 1))
            continue;
        int last = bit;
        while (last < 63 && (mask >> (last + 1) & 1))
            ++last;
        ranges << (last == bit ? QString::number(bit)
                               : QStringLiteral("%1..%2").arg(bit).arg(last));
        bit = last;
    }
    return ranges.isEmpty() ? QStringLiteral("it has none") : ranges.join(QStringLiteral(", "));
}

int QrxIo::CheckPoint(const BoardInfo &board, PointDir dir, int point)
{
    if (board.isLive(dir, point))
        return kExitOk;
    return UsageError(
        QStringLiteral("%1 is not an %2 of card %3 (%4)")
            .arg(point)
            .arg(dir == PointDir::Out ? QStringLiteral("output") : QStringLiteral("input"))
            .arg(board.cardNo)
            .arg(LivePointsText(board.liveMask(dir))));
}

int QrxIo::CheckPoints(const BoardInfo &board, PointDir dir) const
{
    for (const PointValue &p : points) {
        if (int status = CheckPoint(board, dir, p.point))
            return status;
    }
    return kExitOk;
}
