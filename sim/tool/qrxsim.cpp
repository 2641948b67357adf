// qrxsim: drives the simulated boards from the command line, through the same shared state
// file as every process that has the simulated library loaded.

#include "device/qrxDApi.h"

#include "BoardConfig.h"
#include "InputWord.h"
#include "OrvaneBuild.h"
#include "SharedState.h"
#include "SimPaths.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

constexpr int kFailed = 1; // the board file or the state file failed, or the output was lost
constexpr int kUsage = 2; // a bad command, card, bit or value

const char kHelp[] = R"(Usage: qrxsim COMMAND [ARGUMENTS]
Drives the simulated QRX-L boards through their shared state file.

Commands:
  boards                  list the boards: position, card number, type, model name,
                          inputs, outputs
  show CARD               show a board's inputs, outputs, filter and Run LED
  get CARD in|out         print the input or output word (0x and 16 hex digits)
  set CARD in BIT 0|1     hold one input on or off
  set CARD in-word HEX    hold the whole input word
  watch CARD              print the words each time one changes, until interrupted
  reset                   rebuild the shared state from the board file
  --help                  show this text
  --version               print the version

CARD is a card number as "qrxsim boards" lists it. An input reads on when it is held
on, or its board loops outputs back and the output of the same number is on, or the
board's pattern sets it; "get CARD in" shows that word.

Environment:
  QRXSIM_CONFIG   the board file (default: qrxsim.ini beside the library, else the
                  four built-in boards)
  QRXSIM_STATE    the shared state file (default: $XDG_RUNTIME_DIR/qrxsim-state,
                  else qrxsim-UID/state in $TMPDIR or /tmp)

Exit status: 0 success, 1 the board or state file failed or the output was lost,
2 a bad command, card, bit or value.
)";

volatile std::sig_atomic_t g_stop = 0;
int g_writeError = 0; // errno of the first failed write of the output

void OnSignal(int)
{
    g_stop = 1;
}

int Usage(const std::string &what)
{
    std::fprintf(stderr, "qrxsim: %s\nTry \"qrxsim --help\".\n", what.c_str());
    return kUsage;
}

std::string Hex(uint64_t word)
{
    char text[24];
    std::snprintf(text, sizeof text, "0x%016llX", static_cast<unsigned long long>(word));
    return text;
}

// The input numbers of a board, as "0..31" or "0..7, 16..31", or "it has none".
std::string InputNumbers(const BoardDef &board)
{
    if (board.inputs == 0)
        return "it has none";
    if (board.inputs == kSplitBoardInputs)
        return "0..7, 16..31";
    return "0.." + std::to_string(board.inputs - 1);
}

// A whole decimal number in lo..hi.
bool ParseNumber(const std::string &text, long long lo, long long hi, long long *value)
{
    if (text.empty() || text.size() > 18 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    *value = std::stoll(text);
    return *value >= lo && *value <= hi;
}

// 1 to 16 hexadecimal digits, with or without 0x.
bool ParseHex(std::string text, uint64_t *value)
{
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text = text.substr(2);
    if (text.empty() || text.size() > 16 ||
        text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return false;
    *value = std::stoull(text, nullptr, 16);
    return true;
}

class Tool
{
public:
    int Run(const std::vector<std::string> &args);

private:
    bool Open(bool rebuild);
    // True, with a message, once the state file was cut short under this process.
    bool Lost();
    int Board(const std::string &cardText, int *position);
    int Boards();
    int Show(int position);
    int Get(int position, const std::string &which);
    int Set(int position, const std::vector<std::string> &args);
    int Watch(int position);

    uint64_t inputs(int position) { return InputWord(m_config.boards[position], slot(position)); }
    uint64_t outputs(int position) { return Atomic(slot(position).outputs).load(); }
    BoardSlot &slot(int position) { return m_state.slot(position); }

    BoardConfig m_config;
    SharedState m_state;
    std::string m_statePath;
};

bool Tool::Lost()
{
    if (!m_state.lost())
        return false;
    std::fprintf(stderr,
                 "qrxsim: state file %s: cut short while in use, its state is lost; the next "
                 "command rebuilds it\n",
                 m_statePath.c_str());
    return true;
}

bool Tool::Open(bool rebuild)
{
    std::string error;
    const std::string libraryDir =
        SimPaths::DirOfAddress(reinterpret_cast<const void *>(&DXS_devSysLoad));
    if (BoardConfig::Locate(libraryDir, &m_config, &error) != 0 ||
        !SimPaths::StatePath(&m_statePath, &error) ||
        !m_state.Open(m_statePath, m_config, rebuild, &error)) {
        std::fprintf(stderr, "qrxsim: %s\n", error.c_str());
        return false;
    }
    return true;
}

int Tool::Run(const std::vector<std::string> &args)
{
    if (args.empty())
        return Usage("a command is missing");
    const std::string &command = args[0];
    const bool help = command == "--help" || command == "-h" || command == "help";
    if ((help || command == "--version") && args.size() > 1)
        return Usage("\"" + command + "\" takes no arguments");
    if (help) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (command == "--version") {
        std::printf("qrxsim %s\n", ORVANE_VERSION);
        return 0;
    }
    const std::size_t counts[][2] = {{0, 0}, {1, 1}, {2, 2}, {3, 4}, {1, 1}, {0, 0}};
    const char *names[] = {"boards", "show", "get", "set", "watch", "reset"};
    int which = -1;
    for (int i = 0; i < 6; ++i)
        if (command == names[i])
            which = i;
    if (which < 0)
        return Usage("unknown command \"" + command + "\"");
    const std::size_t given = args.size() - 1;
    if (given < counts[which][0] || given > counts[which][1])
        return Usage("wrong number of arguments for \"" + command + "\"");

    if (!Open(command == "reset"))
        return kFailed;
    if (command == "boards")
        return Boards();
    if (command == "reset") {
        const std::size_t count = m_config.boards.size();
        std::printf("%s: rebuilt for %zu board%s from %s\n", m_statePath.c_str(), count,
                    count == 1 ? "" : "s", m_config.source.c_str());
        return 0;
    }
    int position = 0;
    if (const int bad = Board(args[1], &position))
        return bad;
    if (command == "show")
        return Show(position);
    if (command == "get")
        return Get(position, args[2]);
    if (command == "set")
        return Set(position, args);
    return Watch(position);
}

int Tool::Board(const std::string &cardText, int *position)
{
    long long card = 0;
    if (!ParseNumber(cardText, 0, INT32_MAX, &card))
        return Usage("\"" + cardText + "\" is not a card number");
    *position = m_config.PositionOf(static_cast<int32_t>(card));
    if (*position < 0)
        return Usage("no board has the card number " + cardText);
    return 0;
}

int Tool::Boards()
{
    for (std::size_t i = 0; i < m_config.boards.size(); ++i) {
        const BoardDef &b = m_config.boards[i];
        std::printf("position=%zu card=%d type=%d model=\"%s\" inputs=%d outputs=%d\n", i, b.cardNo,
                    b.type, ModelName(b).c_str(), b.inputs, b.outputs);
    }
    return 0;
}

int Tool::Show(int position)
{
    const BoardDef &b = m_config.boards[position];
    BoardSlot &s = slot(position);
    const uint64_t in = inputs(position), held = Atomic(s.held).load(), out = outputs(position);
    const int32_t enable = Atomic(s.filterEnable).load(), code = Atomic(s.filterTime).load(),
                  led = Atomic(s.checkOn).load();
    if (Lost())
        return kFailed;
    std::printf("card %d at position %d: type %d, firmware 0x%x\n", b.cardNo, position, b.type,
                b.firmware);
    std::printf("inputs:  %2d  %s  (held %s, loopback %s, pattern %s)\n", b.inputs, Hex(in).c_str(),
                Hex(held).c_str(), b.loopback ? "on" : "off", PatternName(b.pattern));
    std::printf("outputs: %2d  %s\n", b.outputs, Hex(out).c_str());
    std::printf("filter:  %s, time code %d\n", enable ? "enabled" : "disabled", code);
    std::printf("run led: %s\n", led ? "on" : "off");
    return 0;
}

int Tool::Get(int position, const std::string &which)
{
    if (which != "in" && which != "out")
        return Usage("\"" + which + "\" is neither in nor out");
    const uint64_t word = which == "in" ? inputs(position) : outputs(position);
    if (Lost())
        return kFailed;
    std::printf("%s\n", Hex(word).c_str());
    return 0;
}

int Tool::Set(int position, const std::vector<std::string> &args)
{
    const BoardDef &b = m_config.boards[position];
    auto held = Atomic(slot(position).held);
    if (args[2] == "in" && args.size() == 5) {
        long long bit = 0;
        if (b.inputs == 0 || !ParseNumber(args[3], 0, b.inputPoints() - 1, &bit) ||
            !(b.inputMask() >> bit & 1))
            return Usage("\"" + args[3] + "\" is not an input of card " + args[1] + " (" +
                         InputNumbers(b) + ")");
        if (args[4] != "0" && args[4] != "1")
            return Usage("an input is set to 0 or 1, not \"" + args[4] + "\"");
        const uint64_t mask = uint64_t(1) << bit;
        if (args[4] == "1")
            held.fetch_or(mask);
        else
            held.fetch_and(~mask);
        return Lost() ? kFailed : 0;
    }
    if (args[2] == "in-word" && args.size() == 4) {
        uint64_t word = 0;
        if (!ParseHex(args[3], &word))
            return Usage("\"" + args[3] + "\" is not a hexadecimal word");
        if (word & ~b.inputMask())
            return Usage(args[3] +
                         (b.inputs == kSplitBoardInputs || b.inputs == 0
                              ? " sets bits that are not inputs of card " + args[1] + " (" +
                                  InputNumbers(b) + ")"
                              : " sets bits beyond the " + std::to_string(b.inputs) +
                                  " inputs of card " + args[1]));
        held.store(word);
        return Lost() ? kFailed : 0;
    }
    return Usage("set takes CARD in BIT 0|1 or CARD in-word HEX");
}

int Tool::Watch(int position)
{
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    bool first = true;
    uint64_t lastIn = 0, lastOut = 0;
    while (!g_stop) {
        const uint64_t in = inputs(position);
        const uint64_t out = outputs(position);
        if (Lost())
            return kFailed;
        if (first || in != lastIn || out != lastOut) {
            std::printf("in=%s out=%s\n", Hex(in).c_str(), Hex(out).c_str());
            if (std::fflush(stdout) != 0) {
                g_writeError = errno;
                return kFailed; // main says that the output is lost
            }
            first = false;
            lastIn = in;
            lastOut = out;
        }
        const timespec tick = {0, 10 * 1000 * 1000};
        nanosleep(&tick, nullptr);
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    Tool tool;
    const int status = tool.Run(std::vector<std::string>(argv + 1, argv + argc));
    // Output that never reached its file (a full disk, a closed standard output) is a failure.
    if (std::fflush(stdout) != 0 && !g_writeError)
        g_writeError = errno;
    if (std::ferror(stdout)) {
        std::fprintf(stderr, "qrxsim: the output was not written: %s\n",
                     g_writeError ? std::strerror(g_writeError) : "write error");
        return kFailed;
    }
    return status;
}
