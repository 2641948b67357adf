#include "QrxIo.h"

#include "Monitor.h"
#include "StopSignal.h"
#include "config/ProfileFile.h"
#include "config/Settings.h"
#include "device/CardCatalogue.h"
#include "device/SystemLoad.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

const QStringList kCommands = {"list",   "get",   "set",  "monitor", "led",
                               "filter", "reset", "save", "log"};

// A card number operand: digits only, within 32 bits.
std::optional<int32_t> ParseCard(const QString &text)
{
    return ParseNumber(text, 0, INT32_MAX);
}

// A value of a point or of the Run LED.
int ParseSwitch(const QString &text)
{
    if (text == "1" || text == "on")
        return 1;
    if (text == "0" || text == "off")
        return 0;
    return -1;
}

QString Word64(uint64_t word)
{
    return QString::asprintf("0x%016llX", static_cast<unsigned long long>(word));
}

QString OnOff(int32_t value)
{
    return value ? QStringLiteral("on") : QStringLiteral("off");
}

// The filter time of a code in milliseconds as the Digital IO window lists it: 0.001 × 2^code.
QString FilterTimeText(int32_t code)
{
    return QString::number(std::ldexp(0.001, code), 'f', 3);
}

int64_t MonotonicNs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

} // namespace

QrxIo::QrxIo(const Arguments &args, const QString &executableDir)
    : m_args(args)
    , m_executableDir(executableDir)
    , m_out(args.json)
{
}

QString QrxIo::HelpText()
{
    return QStringLiteral(R"(Usage: qrxio [OPTION...] COMMAND [ARGUMENT...]
The QRX-L boards through the device access library, from a terminal.

Commands:
  list                          every board of the card map
  get CARD [in|out] [POINT...]  the points' values, or the board's input and output words
  set CARD POINT=VALUE...       switch outputs, then read them back
  set CARD --word HEX [--page 0|1]
                                write the 32 outputs of a page, then read them back
  monitor [CARD...]             a line for each change of an input
  led CARD [on|off]             show or switch the Run LED
  filter CARD [--enable 0|1] [--time CODE]
                                show or set the input filter
  reset CARD                    reset a board
  save CARD|--all               save the parameters of a board, or of all boards
  log                           show the device library's log level and file
  history [--db PATH] [--since TIME] [--until TIME] [--csv|--vcd] [CARD[:in|out][:POINT|NAME]...]
                                the changes orvane-agent recorded (see qrxio(1))
  help                          this text

Options:
  --json               print each result as one JSON object on a line of its own
  --mode auto|manual   the loading mode (default: the one in the program's settings file)
  --log-level 0..5     the device library's log level for this run
  --log-file PATH      the device library's log file for this run
  -h, --help           this text
  --version            the version, and the device library a command would use

Options of monitor:
  --out                outputs too
  --interval MS        read the points every MS milliseconds (default 10)
  -n N                 stop after N changes
  --idle-timeout MS    stop after MS milliseconds without a change
  --local              local time instead of UTC

CARD is a card number from "qrxio list", not a position. POINT counts from 0; get also takes
the name the program's Point Names gave it. VALUE is 0 or 1 (or off and on). A filter time CODE k means 0.001 x 2^k msec, k = 0..15.
Exit status: 0 success, 1 the library or a board refused, 2 a usage error.
)");
}

int QrxIo::UsageError(const QString &message)
{
    Output::Message(message);
    std::fprintf(stderr, "Try \"qrxio --help\".\n");
    return kExitUsage;
}

int QrxIo::Refused(const QString &call, int32_t status)
{
    return Refused(FailedCall{call, status});
}

int QrxIo::Refused(const FailedCall &failed)
{
    Output::Message(failed.text());
    return kExitRefused;
}

int QrxIo::Run()
{
    if (m_args.help || m_args.command == "help") {
        std::fputs(qPrintable(HelpText()), stdout);
        return kExitOk;
    }
    if (m_args.version) {
        PrintVersion();
        return kExitOk;
    }
    if (m_args.command.isEmpty())
        return UsageError(QStringLiteral("a command is missing"));
    if (!kCommands.contains(m_args.command))
        return UsageError(QStringLiteral("unknown command %1").arg(Quoted(m_args.command)));
    if (int status = CheckOperands())
        return status;
    if (m_args.logFile) {
        m_args.logFile = QFileInfo(*m_args.logFile).absoluteFilePath();
        if (m_args.logFile->toLocal8Bit().size() >= kPathBytes)
            return UsageError(
                QStringLiteral("the log file's path is longer than %1 bytes").arg(kPathBytes - 1));
    }
    if (int status = BindLibrary())
        return status;
    if (int status = LoadSystem(LoadingMode()))
        return status;

    int status = RunLoaded();
    if (const int32_t unload = Dev().DXS_devSysUnload(); unload < 0) {
        Refused(QStringLiteral("DXS_devSysUnload()"), unload);
        status = status ? status : kExitRefused;
    }
    if (!m_out.Flush() && !m_out.gone()) {
        Output::Message(QStringLiteral("cannot write the output: %1").arg(strerror(errno)));
        status = status ? status : kExitRefused;
    }
    return status;
}

int QrxIo::CheckOperands()
{
    const QString &command = m_args.command;
    const QStringList &ops = m_args.operands;
    auto arity = [&](qsizetype min, qsizetype max) {
        return ops.size() >= min && ops.size() <= max
            ? 0
            : UsageError(QStringLiteral("wrong number of arguments for %1").arg(Quoted(command)));
    };
    int status = 0;
    if (command == "list" || command == "log")
        status = arity(0, 0);
    else if (command == "reset" || command == "filter")
        status = arity(1, 1);
    else if (command == "led")
        status = arity(1, 2);
    else if (command == "get" || command == "set")
        status = arity(1, 65);
    else if (command == "save")
        status = m_args.all ? arity(0, 0) : arity(1, 1);
    if (status)
        return status;

    // Every operand that is a card: all of monitor's, the first of the others.
    const qsizetype cards = command == "monitor" ? ops.size() : std::min<qsizetype>(ops.size(), 1);
    for (qsizetype i = 0; i < cards; ++i) {
        const std::optional<int32_t> card = ParseCard(ops[i]);
        if (!card)
            return UsageError(QStringLiteral("%1 is not a card number").arg(Quoted(ops[i])));
        if (std::find(m_cards.begin(), m_cards.end(), *card) == m_cards.end())
            m_cards.push_back(*card);
    }

    if (command == "led" && ops.size() == 2 && (m_led = ParseSwitch(ops[1])) < 0)
        return UsageError(QStringLiteral("the Run LED is on or off, not %1").arg(Quoted(ops[1])));

    if (command == "get") {
        qsizetype first = 1;
        if (ops.size() > 1 && (ops[1] == "in" || ops[1] == "out")) {
            m_direction = ops[1] == "out" ? 1 : 0;
            first = 2;
        }
        if (int status = ParseGetPoints(first))
            return status;
    }

    if (command == "set") {
        if (m_args.word && ops.size() != 1)
            return UsageError(QStringLiteral("set takes either POINT=VALUE or --word, not both"));
        if (!m_args.word && ops.size() < 2)
            return UsageError(QStringLiteral("set needs POINT=VALUE or --word"));
        for (qsizetype i = 1; i < ops.size(); ++i) {
            const QStringList parts = ops[i].split(u'=');
            const std::optional<int64_t> point =
                parts.size() == 2 ? ParseNumber(parts[0], 0, kMaxPoints - 1) : std::nullopt;
            const int value = parts.size() == 2 ? ParseSwitch(parts[1]) : -1;
            if (!point || value < 0)
                return UsageError(QStringLiteral("%1 is not POINT=VALUE (a point 0..%2, a value "
                                                 "0 or 1)")
                                      .arg(Quoted(ops[i]))
                                      .arg(kMaxPoints - 1));
            m_points.push_back({int(*point), value});
        }
    }

    // A point named twice would be read twice, or written twice with the first value lost.
    for (size_t i = 0; i < m_points.size(); ++i) {
        for (size_t j = 0; j < i; ++j) {
            if (m_points[i].point == m_points[j].point)
                return UsageError(QStringLiteral("point %1 is named twice").arg(m_points[i].point));
        }
    }
    return kExitOk;
}

// The points of get: numbers, or names the program gave them. Points without in or out are
// inputs, unless they are named as outputs; a name tells its own direction.
int QrxIo::ParseGetPoints(qsizetype first)
{
    const QStringList &ops = m_args.operands;
    const int32_t card = m_cards.front();
    if (first < ops.size())
        m_names.Load(PointNames::PathBeside(Settings::ChooseSettingsPath(m_executableDir)));
    const std::optional<PointDir> only =
        m_direction < 0 ? std::nullopt : std::optional<PointDir>(PointDir(m_direction));
    int numbers = 0, inputs = 0, outputs = 0; // how the points were given
    for (qsizetype i = first; i < ops.size(); ++i) {
        const std::optional<int64_t> number = ParseNumber(ops[i], 0, kMaxPoints - 1);
        PointDir dir = PointDir::In;
        int point = number ? int(*number) : -1;
        if (number)
            ++numbers;
        else if (m_names.Find(card, ops[i], &dir, &point, only))
            ++(dir == PointDir::Out ? outputs : inputs);
        else if (m_names.Card(card).isEmpty())
            return UsageError(QStringLiteral("%1 is neither in, out nor a point number (0..%2)")
                                  .arg(Quoted(ops[i]))
                                  .arg(kMaxPoints - 1));
        else
            return UsageError(QStringLiteral("%1 is neither in, out, a point number (0..%2) nor "
                                             "a point name of card %3")
                                  .arg(Quoted(ops[i]))
                                  .arg(kMaxPoints - 1)
                                  .arg(card));
        m_points.push_back({point, -1});
    }
    if (m_direction < 0 && outputs > 0 && numbers + inputs > 0)
        return UsageError(QStringLiteral("get reads inputs or outputs, not both: put in or out "
                                         "before the points"));
    if (!m_points.empty() && m_direction < 0)
        m_direction = outputs > 0 ? 1 : 0; // points given alone are inputs
    return kExitOk;
}

int32_t QrxIo::LoadingMode() const
{
    if (m_args.mode)
        return *m_args.mode;
    // The program's own settings file, read as the program reads it; it is not created here.
    const QByteArray text =
        Settings::ReadLoadingModeText(Settings::ChooseSettingsPath(m_executableDir));
    return text.isEmpty() ? DXS_LOAD_AUTO : Atoi(text);
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
    if (!m_library.Load(LibraryPath(), &error)) {
        Output::Message(LoadFailureText(DeviceTable::kNotLoaded) + u'\n' + error.text());
        return kExitRefused;
    }
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
    if (status == DXS_ERR_OPEN_MODE) {
        // The program asks whether to retry in the other mode; a command line says how to.
        const QString other =
            mode == DXS_LOAD_AUTO ? QStringLiteral("manual") : QStringLiteral("auto");
        Output::Message(QStringLiteral("%1 (%2 failed with status %3 in %4 mode)\n"
                                       "try the other loading mode: --mode %5")
                            .arg(OpenModeQuestion().section(u'\n', 0, 0), call)
                            .arg(status)
                            .arg(modeName, other));
    } else {
        Output::Message(QStringLiteral("%1 (%2 failed with status %3)")
                            .arg(LoadFailureText(status), call)
                            .arg(status));
    }
    return kExitRefused;
}

int QrxIo::RunLoaded()
{
    if (m_args.logFile) {
        const QByteArray path = m_args.logFile->toLocal8Bit();
        if (int32_t status = Dev().DXS_devDLogSetFile(path.constData()); status < 0)
            return Refused(QStringLiteral("DXS_devDLogSetFile(%1)").arg(*m_args.logFile), status);
    }
    if (m_args.logLevel) {
        if (int32_t status = Dev().DXS_devDLogSetLevel(*m_args.logLevel); status < 0)
            return Refused(QStringLiteral("DXS_devDLogSetLevel(level=%1)").arg(*m_args.logLevel),
                           status);
    }
    if (int32_t status = Dev().DXS_devGnGetMotDevMap(m_map.bytes); status < 0)
        return Refused(QStringLiteral("DXS_devGnGetMotDevMap()"), status);

    // Every card named must be in the map before anything is done to any board.
    for (int32_t card : m_cards) {
        if (CardIndexOf(m_map, m_map.mapCount(), card) < 0) {
            QStringList known;
            for (int i = 0; i < m_map.boardSlots(); ++i)
                known << QString::number(m_map.cardNo(i));
            return UsageError(QStringLiteral("card %1 is not in the card map (%2)")
                                  .arg(card)
                                  .arg(known.isEmpty() ? QStringLiteral("it holds no boards")
                                                       : "its cards: " + known.join(", ")));
        }
    }

    const QString &c = m_args.command;
    if (c == "list")
        return List();
    if (c == "get")
        return Get();
    if (c == "set")
        return Set();
    if (c == "monitor")
        return Watch();
    if (c == "led")
        return Led();
    if (c == "filter")
        return Filter();
    if (c == "reset")
        return Reset();
    if (c == "save")
        return Save();
    return Log();
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
    for (const PointValue &p : m_points) {
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

int QrxIo::List()
{
    for (int i = 0; i < m_map.boardSlots(); ++i) {
        const int32_t cardNo = m_map.cardNo(i);
        int32_t inputs = 0, outputs = 0, firmware = 0, version = 0;
        if (int32_t s = Dev().DXS_devGnGetDioNum(cardNo, &inputs, &outputs); s < 0)
            return Refused(QStringLiteral("DXS_devGnGetDioNum(card=%1)").arg(cardNo), s);
        if (int32_t s = Dev().DXS_devConGetFwVersion(cardNo, &firmware); s < 0)
            return Refused(QStringLiteral("DXS_devConGetFwVersion(card=%1)").arg(cardNo), s);
        if (int32_t s = Dev().DXS_devConGetMApiVersion(cardNo, &version); s < 0)
            return Refused(QStringLiteral("DXS_devConGetMApiVersion(card=%1)").arg(cardNo), s);

        const QByteArray name = BoardName(m_map.cardType(i), inputs, outputs);
        // The tree shows no node for a type it does not know; a listing still names the card.
        const QString label = CardLabel(cardNo, name.isEmpty() ? "(unknown type)" : name.data());
        QStringList texts = {label,
                             QStringLiteral("type %1").arg(m_map.cardType(i)),
                             OutputCountText(outputs),
                             InputCountText(inputs),
                             FirmwareVersionText(firmware),
                             LibraryVersionText(version)};
        if (m_library.IsSimulated())
            texts << QStringLiteral("simulated");
        m_out.Result(
            texts.join(u'\t'),
            {{"position", i},
             {"card", cardNo},
             {"type", m_map.cardType(i)},
             {"name", name.isEmpty() ? QJsonValue() : QJsonValue(QString::fromLatin1(name))},
             {"label", name.isEmpty() ? QJsonValue() : QJsonValue(label)},
             {"inputs", inputs},
             {"outputs", outputs},
             {"firmware", firmware},
             {"firmwareText", FirmwareVersionText(firmware)},
             {"library", version},
             {"libraryText", LibraryVersionText(version)},
             {"simulated", m_library.IsSimulated()}});
    }
    return kExitOk;
}

int QrxIo::Get()
{
    Board board;
    if (int status = FindBoard(m_cards.front(), &board))
        return status;
    QJsonObject json{{"card", board.cardNo}};
    FailedCall failed;

    if (m_points.empty()) {
        QStringList texts;
        for (int outputs = 0; outputs < 2; ++outputs) {
            if (m_direction >= 0 && m_direction != outputs)
                continue;
            uint64_t word = 0;
            const int count = BoundPoints(outputs ? board.outputs : board.inputs);
            if (!ReadWord(Dev(), board.cardNo, outputs, count, &word, &failed))
                return Refused(failed);
            const QString key = outputs ? QStringLiteral("out") : QStringLiteral("in");
            texts << (m_direction < 0 ? key + u'=' + Word64(word) : Word64(word));
            json[key] = Word64(word);
        }
        m_out.Result(texts.join(u' '), json);
        return kExitOk;
    }

    const bool outputs = m_direction == 1;
    if (int status = CheckPoints(board, outputs))
        return status;
    QStringList texts;
    QJsonObject values, names;
    for (const PointValue &p : m_points) {
        int32_t value = 0;
        const int32_t status = outputs ? Dev().DXS_devDoGetBit(board.cardNo, p.point, &value)
                                       : Dev().DXS_devDiGetBit(board.cardNo, p.point, &value);
        if (status < 0)
            return Refused(QStringLiteral("%1(card=%2, bit=%3)")
                               .arg(outputs ? "DXS_devDoGetBit" : "DXS_devDiGetBit")
                               .arg(board.cardNo)
                               .arg(p.point),
                           status);
        const QString name =
            m_names.Name(board.cardNo, outputs ? PointDir::Out : PointDir::In, p.point);
        texts << QStringLiteral("%1=%2").arg(p.point).arg(value ? 1 : 0) +
                (name.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(name));
        values[QString::number(p.point)] = value ? 1 : 0;
        if (!name.isEmpty())
            names[QString::number(p.point)] = name;
    }
    json[outputs ? QStringLiteral("out") : QStringLiteral("in")] = values;
    if (!names.isEmpty())
        json[QStringLiteral("names")] = names;
    m_out.Result(texts.join(u' '), json);
    return kExitOk;
}

int QrxIo::Set()
{
    Board board;
    if (int status = FindBoard(m_cards.front(), &board))
        return status;
    const int count = BoundPoints(board.outputs);
    QJsonObject json{{"card", board.cardNo}};

    if (m_args.word) {
        const int first = m_args.page * 32;
        const int live = std::clamp(count - first, 0, 32);
        if (live == 0)
            return UsageError(QStringLiteral("card %1 has no outputs on page %2")
                                  .arg(board.cardNo)
                                  .arg(m_args.page));
        if (live < 32 && (*m_args.word >> live) != 0)
            return UsageError(
                QStringLiteral("0x%1 sets outputs beyond the %2 of page %3 of card %4")
                    .arg(*m_args.word, 0, 16)
                    .arg(live)
                    .arg(m_args.page)
                    .arg(board.cardNo));
        m_points.clear();
        for (int i = 0; i < live; ++i)
            m_points.push_back({first + i, int((*m_args.word >> i) & 1)});
    } else if (int status = CheckPoints(board, true)) {
        return status;
    }

    for (const PointValue &p : m_points) {
        if (int32_t status = Dev().DXS_devDoSetBit(board.cardNo, p.point, p.value); status < 0)
            return Refused(QStringLiteral("DXS_devDoSetBit(card=%1, bit=%2, value=%3)")
                               .arg(board.cardNo)
                               .arg(p.point)
                               .arg(p.value),
                           status);
    }
    QJsonObject values;
    uint32_t pageWord = 0;
    for (const PointValue &p : m_points) {
        int32_t value = 0;
        if (int32_t status = Dev().DXS_devDoGetBit(board.cardNo, p.point, &value); status < 0)
            return Refused(
                QStringLiteral("DXS_devDoGetBit(card=%1, bit=%2)").arg(board.cardNo).arg(p.point),
                status);
        value = value ? 1 : 0;
        if (value != p.value) {
            Output::Message(QStringLiteral("output %1 of card %2 reads %3 after %4 was written")
                                .arg(p.point)
                                .arg(board.cardNo)
                                .arg(value)
                                .arg(p.value));
            return kExitRefused;
        }
        values[QString::number(p.point)] = value;
        pageWord |= uint32_t(value) << (p.point % 32);
    }
    if (m_args.word) {
        json["page"] = m_args.page;
        json["out"] = QString::asprintf("0x%08X", pageWord);
    } else {
        json["out"] = values;
    }
    m_out.Result({}, json);
    return kExitOk;
}

int QrxIo::Watch()
{
    std::vector<int32_t> cards = m_cards;
    if (cards.empty()) {
        for (int i = 0; i < m_map.boardSlots(); ++i) {
            // A card number the map holds twice addresses its first board only.
            if (std::find(cards.begin(), cards.end(), m_map.cardNo(i)) == cards.end())
                cards.push_back(m_map.cardNo(i));
        }
    }
    std::vector<WatchedBoard> boards;
    for (int32_t cardNo : cards) {
        Board board;
        if (int status = FindBoard(cardNo, &board))
            return status;
        const WatchedBoard watched{cardNo, BoundPoints(board.inputs),
                                   m_args.outputs ? BoundPoints(board.outputs) : 0};
        if (watched.inputs + watched.outputs > 0)
            boards.push_back(watched);
        else if (!m_cards.empty())
            return UsageError(m_args.outputs
                                  ? QStringLiteral("card %1 has no inputs or outputs").arg(cardNo)
                                  : QStringLiteral("card %1 has no inputs (--out watches its "
                                                   "outputs)")
                                        .arg(cardNo));
    }
    if (boards.empty())
        return UsageError(m_args.outputs ? QStringLiteral("no board has inputs or outputs")
                                         : QStringLiteral("no board has inputs"));

    m_names.Load(PointNames::PathBeside(Settings::ChooseSettingsPath(m_executableDir)));
    Monitor monitor(Dev(), boards, m_args.outputs);
    FailedCall failed;
    if (!monitor.Poll(nullptr, &failed))
        return Refused(failed);

    const int64_t interval = m_args.intervalMs * 1'000'000;
    const int64_t idle = m_args.idleTimeoutMs.value_or(0) * 1'000'000;
    int64_t next = MonotonicNs() + interval;
    int64_t lastChange = MonotonicNs();
    int64_t printed = 0;
    std::vector<PointChange> changes;
    while (!StopSignal::WaitFor(next - MonotonicNs())) {
        changes.clear();
        if (!monitor.Poll(&changes, &failed))
            return Refused(failed);
        const int64_t now = MonotonicNs();
        if (changes.empty()) {
            if (idle && now - lastChange >= idle)
                break;
        } else {
            lastChange = now;
            timespec wallClock;
            clock_gettime(CLOCK_REALTIME, &wallClock);
            const QString time = QString::fromLatin1(TimeStamp(wallClock, m_args.local));
            for (const PointChange &change : changes) {
                const PointDir pointDir = change.output ? PointDir::Out : PointDir::In;
                const QString dir = DirText(pointDir);
                const QString name = m_names.Name(change.cardNo, pointDir, change.point);
                QJsonObject json{{"time", time},
                                 {"card", change.cardNo},
                                 {"dir", dir},
                                 {"point", change.point},
                                 {"value", change.value}};
                if (!name.isEmpty())
                    json[QStringLiteral("name")] = name;
                // A name comes last, after the fields a script reads by position.
                m_out.Result(QStringLiteral("%1 %2 %3 %4 %5")
                                     .arg(time)
                                     .arg(change.cardNo)
                                     .arg(dir)
                                     .arg(change.point)
                                     .arg(change.value) +
                                 (name.isEmpty() ? QString() : u' ' + name),
                             json);
                if (++printed == m_args.maxChanges)
                    break;
            }
            // Each change reaches a reader at once; a reader that has gone ends the watch.
            if (!m_out.Flush() || printed == m_args.maxChanges)
                break;
        }
        next += interval;
        if (next <= now) // a poll that took longer than the interval: the missed ones are skipped
            next = now + interval;
    }
    return kExitOk;
}

int QrxIo::Led()
{
    const int32_t cardNo = m_cards.front();
    if (m_led >= 0) {
        if (int32_t status = Dev().DXS_devConSetCheckOn(cardNo, m_led); status < 0)
            return Refused(
                QStringLiteral("DXS_devConSetCheckOn(card=%1, on=%2)").arg(cardNo).arg(m_led),
                status);
    }
    int32_t on = 0;
    if (int32_t status = Dev().DXS_devConGetCheckOn(cardNo, &on); status < 0)
        return Refused(QStringLiteral("DXS_devConGetCheckOn(card=%1)").arg(cardNo), status);
    if (m_led >= 0 && (on != 0) != (m_led != 0)) {
        Output::Message(QStringLiteral("the Run LED of card %1 reads %2 after %3 was written")
                            .arg(cardNo)
                            .arg(OnOff(on), OnOff(m_led)));
        return kExitRefused;
    }
    m_out.Result(m_led >= 0 ? QString() : OnOff(on), {{"card", cardNo}, {"led", OnOff(on)}});
    return kExitOk;
}

int QrxIo::Filter()
{
    const int32_t cardNo = m_cards.front();
    const std::optional<int32_t> enable = m_args.filterEnable;
    const std::optional<int32_t> time = m_args.filterTime;
    if (enable) {
        if (int32_t status = Dev().DXS_devDiSetFilterEnable(cardNo, 0, *enable); status < 0)
            return Refused(QStringLiteral("DXS_devDiSetFilterEnable(card=%1, module=0, "
                                          "enable=%2)")
                               .arg(cardNo)
                               .arg(*enable),
                           status);
    }
    if (time) {
        if (int32_t status = Dev().DXS_devDiSetFilterTime(cardNo, 0, *time); status < 0)
            return Refused(QStringLiteral("DXS_devDiSetFilterTime(card=%1, module=0, code=%2)")
                               .arg(cardNo)
                               .arg(*time),
                           status);
    }
    int32_t readEnable = 0, readTime = 0;
    if (int32_t status = Dev().DXS_devDiGetFilterEnable(cardNo, 0, &readEnable); status < 0)
        return Refused(QStringLiteral("DXS_devDiGetFilterEnable(card=%1, module=0)").arg(cardNo),
                       status);
    if (int32_t status = Dev().DXS_devDiGetFilterTime(cardNo, 0, &readTime); status < 0)
        return Refused(QStringLiteral("DXS_devDiGetFilterTime(card=%1, module=0)").arg(cardNo),
                       status);
    if ((enable && *enable != readEnable) || (time && *time != readTime)) {
        Output::Message(QStringLiteral("the filter of card %1 reads enable %2, time code %3 "
                                       "after it was written")
                            .arg(cardNo)
                            .arg(readEnable)
                            .arg(readTime));
        return kExitRefused;
    }
    const bool changed = enable || time;
    const QString msec = FilterTimeText(readTime);
    m_out.Result(
        changed
            ? QString()
            : QStringLiteral("enable=%1 time=%2 msec=%3").arg(readEnable).arg(readTime).arg(msec),
        {{"card", cardNo}, {"enable", readEnable}, {"time", readTime}, {"msec", msec.toDouble()}});
    return kExitOk;
}

int QrxIo::Reset()
{
    const int32_t cardNo = m_cards.front();
    if (int32_t status = Dev().DXS_devConInit(cardNo); status < 0)
        return Refused(QStringLiteral("DXS_devConInit(card=%1)").arg(cardNo), status);
    m_out.Result({}, {{"card", cardNo}, {"reset", true}});
    return kExitOk;
}

int QrxIo::Save()
{
    std::vector<int32_t> cards = m_cards;
    if (m_args.all) {
        for (int i = 0; i < m_map.boardSlots(); ++i)
            cards.push_back(m_map.cardNo(i));
    }
    // With --all every board is tried, as Save Parameter does; each failure is reported.
    int result = kExitOk;
    for (int32_t cardNo : cards) {
        if (int32_t status = Dev().DXS_devConParamSave(cardNo); status < 0)
            result = Refused(QStringLiteral("DXS_devConParamSave(card=%1)").arg(cardNo), status);
        else
            m_out.Result({}, {{"card", cardNo}, {"saved", true}});
    }
    return result;
}

int QrxIo::Log()
{
    int32_t level = 0;
    char path[kPathBytes] = {};
    if (int32_t status = Dev().DXS_devDLogGetLevel(&level); status < 0)
        return Refused(QStringLiteral("DXS_devDLogGetLevel()"), status);
    if (int32_t status = Dev().DXS_devDLogGetFile(path); status < 0)
        return Refused(QStringLiteral("DXS_devDLogGetFile()"), status);
    const QString file = QString::fromLocal8Bit(path, qsizetype(strnlen(path, kPathBytes)));
    m_out.Result(QStringLiteral("level=%1\nfile=%2").arg(level).arg(file),
                 {{"level", level}, {"file", file}});
    return kExitOk;
}
