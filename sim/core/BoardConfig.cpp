#include "BoardConfig.h"

#include "SimPaths.h"
#include "SimStatus.h"
#include "device/CardMap.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <sys/stat.h>

namespace {

std::string Trim(const std::string &s)
{
    const char *space = " \t\r\n";
    const auto first = s.find_first_not_of(space);
    if (first == std::string::npos)
        return {};
    return s.substr(first, s.find_last_not_of(space) - first + 1);
}

std::string Lower(std::string s)
{
    for (char &c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// A decimal (optionally signed) or 0x-hexadecimal number that fits an int32.
bool ParseInt(const std::string &text, int32_t *value)
{
    if (text.empty())
        return false;
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char *begin = text.c_str();
    if (!hex && text[0] != '-' && !std::isdigit(static_cast<unsigned char>(text[0])))
        return false;
    char *end = nullptr;
    errno = 0;
    const long long v = hex ? static_cast<long long>(std::strtoull(begin + 2, &end, 16))
                            : std::strtoll(begin, &end, 10);
    if (hex && !std::isxdigit(static_cast<unsigned char>(begin[2])))
        return false;
    if (errno || *end || end == begin)
        return false;
    if (hex ? (v < 0 || v > UINT32_MAX) : (v < INT32_MIN || v > INT32_MAX))
        return false;
    *value = static_cast<int32_t>(static_cast<uint32_t>(v));
    return true;
}

struct Section
{
    std::string name;
    int line = 0;
    struct Value
    {
        std::string key; // as written
        std::string text;
        int line;
    };
    std::map<std::string, Value> keys; // by lower-case key
};

class Checker
{
public:
    Checker(const std::string &file, std::string *error)
        : m_file(file)
        , m_error(error)
    {
    }

    bool Fail(int line, const std::string &what)
    {
        *m_error = m_file + ":" + std::to_string(line) + ": " + what;
        return false;
    }

    // Reads the key `name` as an integer in lo..hi; a missing key keeps `*value`.
    bool Int(Section &s, const char *name, int32_t lo, int32_t hi, int32_t *value,
             bool required = false)
    {
        const auto it = s.keys.find(Lower(name));
        if (it == s.keys.end())
            return required ? Fail(s.line, "[" + s.name + "] lacks the key " + name) : true;
        const auto &[key, text, line] = it->second;
        int32_t v = 0;
        if (!ParseInt(text, &v))
            return Fail(line, std::string(name) + " is not a 32-bit number: " + text);
        if (v < lo || v > hi)
            return Fail(line,
                        std::string(name) + " " + text + " is outside " + std::to_string(lo) +
                            ".." + std::to_string(hi));
        *value = v;
        s.keys.erase(it);
        return true;
    }

    bool Path(Section &s, const char *name, const std::string &base, std::string *value)
    {
        const auto it = s.keys.find(Lower(name));
        if (it == s.keys.end())
            return true;
        const auto &[key, text, line] = it->second;
        if (text.empty())
            return Fail(line, std::string(name) + " is empty");
        const std::string path = SimPaths::Resolve(base, text);
        if (path.size() >= static_cast<size_t>(kPathBytes))
            return Fail(
                line, std::string(name) + " is " + std::to_string(kPathBytes) + " bytes or longer");
        *value = path;
        s.keys.erase(it);
        return true;
    }

    bool Pattern(Section &s, InputPattern *value)
    {
        const auto it = s.keys.find("pattern");
        if (it == s.keys.end())
            return true;
        const std::string v = Lower(it->second.text);
        if (v == "none")
            *value = InputPattern::None;
        else if (v == "counter")
            *value = InputPattern::Counter;
        else if (v == "walk")
            *value = InputPattern::Walk;
        else
            return Fail(it->second.line,
                        "Pattern is not none, counter or walk: " + it->second.text);
        s.keys.erase(it);
        return true;
    }

    // Every key that was not consumed is unknown.
    bool NoneLeft(const Section &s)
    {
        if (s.keys.empty())
            return true;
        const Section::Value &value = s.keys.begin()->second;
        return Fail(value.line, "unknown key " + value.key + " in [" + s.name + "]");
    }

private:
    std::string m_file;
    std::string *m_error;
};

} // namespace

BoardConfig BoardConfig::BuiltIn()
{
    BoardConfig c;
    c.source = "built-in";
    c.boards = {
        {174, 0, 32, 32, 0x12, true, InputPattern::None},
        {2803, 1, 64, 64, 0x105, true, InputPattern::None},
        {2801, 2, 64, 0, 0x21, false, InputPattern::Walk},
        {2802, 3, 0, 32, 0x7, false, InputPattern::None},
    };
    return c;
}

namespace {

// The sections of a board file's text, each with its keys; false (with the error) on a line
// that is not a comment, a section header or a key of a section, or on a repeated name.
bool ParseSections(const std::string &text, Checker &check, std::vector<Section> *sections)
{
    std::istringstream in(text);
    std::string raw;
    for (int line = 1; std::getline(in, raw); ++line) {
        const std::string text = Trim(raw);
        if (text.empty() || text[0] == ';' || text[0] == '#')
            continue;
        if (text.front() == '[') {
            if (text.back() != ']')
                return check.Fail(line, "a section header lacks its ]");
            const std::string name = Trim(text.substr(1, text.size() - 2));
            for (const Section &s : *sections)
                if (Lower(s.name) == Lower(name))
                    return check.Fail(line, "section [" + name + "] appears twice");
            sections->push_back({name, line, {}});
            continue;
        }
        const auto equals = text.find('=');
        if (equals == std::string::npos)
            return check.Fail(line, "neither a section nor key=value: " + text);
        if (sections->empty())
            return check.Fail(line, "a key before the first section");
        const std::string key = Trim(text.substr(0, equals));
        std::string value = Trim(text.substr(equals + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        if (key.empty())
            return check.Fail(line, "a value without a key");
        if (!sections->back().keys.emplace(Lower(key), Section::Value{key, value, line}).second)
            return check.Fail(line,
                              "key " + key + " appears twice in [" + sections->back().name + "]");
    }
    return true;
}

// Reads [System] into `c` and files each [BoardN] section under its number.
bool SortSections(std::vector<Section> &sections, Checker &check, const std::string &base,
                  BoardConfig &c, std::vector<Section *> *boards)
{
    for (Section &s : sections) {
        const std::string name = Lower(s.name);
        if (name == "system") {
            if (!check.Int(s, "MApiVersion", INT32_MIN, INT32_MAX, &c.mApiVersion) ||
                !check.Int(s, "RequiredMode", DXS_LOAD_AUTO, DXS_LOAD_MANUAL, &c.requiredMode) ||
                !check.Int(s, "LoadStatus", INT32_MIN, 0, &c.loadStatus) ||
                !check.Path(s, "DataDir", base, &c.dataDir) ||
                !check.Path(s, "LogFile", base, &c.logFile) ||
                !check.Int(s, "LogLevel", 0, 5, &c.logLevel) || !check.NoneLeft(s))
                return false;
            continue;
        }
        int32_t index = -1;
        if (name.rfind("board", 0) != 0 || !std::isdigit(static_cast<unsigned char>(name[5])) ||
            !ParseInt(name.substr(5), &index) || index >= kMaxBoards ||
            (name.size() > 6 && name[5] == '0'))
            return check.Fail(s.line,
                              "unknown section [" + s.name + "] (Board0 .. Board" +
                                  std::to_string(kMaxBoards - 1) + " or System)");
        (*boards)[index] = &s;
    }
    return true;
}

// The boards of the [BoardN] sections, in order and without a gap.
bool ReadBoards(const std::vector<Section *> &boards, Checker &check, BoardConfig &c)
{
    for (int i = 0; i < kMaxBoards; ++i) {
        if (!boards[i])
            continue;
        if (i > 0 && !boards[i - 1])
            return check.Fail(boards[i]->line,
                              "[" + boards[i]->name + "] follows a gap: [Board" +
                                  std::to_string(i - 1) + "] is missing");
        Section &s = *boards[i];
        BoardDef b;
        int32_t loopback = 0;
        if (!check.Int(s, "Type", INT32_MIN, INT32_MAX, &b.type, true) ||
            !check.Int(s, "CardNo", 0, INT32_MAX, &b.cardNo, true) ||
            !check.Int(s, "Inputs", 0, kMaxPoints, &b.inputs) ||
            !check.Int(s, "Outputs", 0, kMaxPoints, &b.outputs) ||
            !check.Int(s, "Firmware", INT32_MIN, INT32_MAX, &b.firmware) ||
            !check.Int(s, "Loopback", 0, 1, &loopback) || !check.Pattern(s, &b.pattern) ||
            !check.NoneLeft(s))
            return false;
        b.loopback = loopback != 0;
        c.boards.push_back(b);
    }
    return true;
}

} // namespace

bool BoardConfig::Read(const std::string &path, BoardConfig *config, std::string *error)
{
    std::string text;
    if (const int failed = SimPaths::ReadFile(path, kMaxFileBytes, &text)) {
        *error = path + ": cannot be read: " +
            (failed == EINVAL      ? std::string("not a regular file")
                 : failed == EFBIG ? "larger than " + std::to_string(kMaxFileBytes) + " bytes"
                                   : std::strerror(failed));
        return false;
    }
    Checker check(path, error);
    std::vector<Section> sections;
    BoardConfig c;
    c.source = path;
    std::vector<Section *> boards(kMaxBoards, nullptr);
    if (!ParseSections(text, check, &sections) ||
        !SortSections(sections, check, SimPaths::DirOf(path), c, &boards) ||
        !ReadBoards(boards, check, c))
        return false;
    *config = c;
    return true;
}

int32_t BoardConfig::Locate(const std::string &libraryDir, BoardConfig *config, std::string *error)
{
    std::string path = SimPaths::Env("QRXSIM_CONFIG");
    BoardConfig c;
    if (path.empty() && !libraryDir.empty() && SimPaths::FileExists(libraryDir + "/qrxsim.ini"))
        path = libraryDir + "/qrxsim.ini";
    if (path.empty()) {
        c = BuiltIn();
    } else {
        struct stat st;
        if (stat(path.c_str(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR)) {
            *error = path + ": the board file does not exist";
            return kSimBoardFileMissing;
        }
        if (!Read(path, &c, error))
            return kSimBoardFileBad;
    }
    if (c.dataDir.empty())
        c.dataDir = SimPaths::DefaultDataDir();
    if (c.logFile.empty())
        c.logFile = c.dataDir + "/qrxsim.dbg";
    *config = c;
    return kSimOk;
}

uint64_t BoardConfig::Fingerprint() const
{
    // FNV-1a over the fields that give the state its meaning.
    uint64_t hash = 14695981039346656037ull;
    auto mix = [&hash](int64_t v) {
        for (int i = 0; i < 8; ++i) {
            hash ^= static_cast<uint64_t>(v >> (8 * i)) & 0xff;
            hash *= 1099511628211ull;
        }
    };
    mix(static_cast<int64_t>(boards.size()));
    for (const BoardDef &b : boards) {
        mix(b.type);
        mix(b.cardNo);
        mix(b.inputs);
        mix(b.outputs);
    }
    return hash;
}

int BoardConfig::PositionOf(int32_t cardNo) const
{
    for (size_t i = 0; i < boards.size(); ++i)
        if (boards[i].cardNo == cardNo)
            return static_cast<int>(i);
    return -1;
}

const char *PatternName(InputPattern pattern)
{
    switch (pattern) {
    case InputPattern::Counter:
        return "counter";
    case InputPattern::Walk:
        return "walk";
    case InputPattern::None:
        break;
    }
    return "none";
}

std::string ModelName(const BoardDef &board)
{
    const char *format = nullptr;
    int32_t count = board.outputs;
    switch (board.type) {
    case 174:
        format = "QRX-LM%2dDIO";
        break;
    case 2801:
        format = "QRX-LN%2dDI";
        count = board.inputs;
        break;
    case 2802:
        format = "QRX-LN%2dDO";
        break;
    case 2803:
        format = "QRX-LN%2dDIO";
        break;
    default:
        return {};
    }
    char name[32];
    std::snprintf(name, sizeof name, format, count);
    return name;
}
