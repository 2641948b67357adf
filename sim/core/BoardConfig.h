#pragma once
// The simulated boards and system settings, read from an INI board file or built in.

#include "device/LiveBits.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum class InputPattern { None, Counter, Walk };

// The bits 0..count-1.
inline uint64_t PointMask(int32_t count)
{
    return LiveMask(PointDir::Out, count);
}

struct BoardDef
{
    int32_t type = 0;
    int32_t cardNo = 0;
    int32_t inputs = 0;
    int32_t outputs = 0;
    int32_t firmware = 0;
    bool loopback = false;
    InputPattern pattern = InputPattern::None;

    // The program's live-bit rule: a board with 24 inputs has them wired as 0..7 and 16..31, so
    // input numbers 0..31 can be read, and 8..15 always read 0.
    uint64_t inputMask() const { return LiveMask(PointDir::In, inputs); }
    // The input numbers a call may address: 0..inputPoints()-1.
    int32_t inputPoints() const { return ReadablePoints(PointDir::In, inputs); }
};

struct BoardConfig
{
    static constexpr int32_t kNoRequiredMode = -1;

    int32_t mApiVersion = 1020304;
    int32_t requiredMode = kNoRequiredMode;
    int32_t loadStatus = 0;
    std::string dataDir; // absolute after Locate/Read
    std::string logFile; // absolute after Locate/Read
    int32_t logLevel = 0;
    std::vector<BoardDef> boards;
    std::string source; // the board file, or "built-in"

    // The four boards used when no board file is configured.
    static BoardConfig BuiltIn();

    // A board file is a few kilobytes; a larger file is refused unread.
    static constexpr size_t kMaxFileBytes = 1 << 20;

    // Reads the board file at `path`: a regular file of at most kMaxFileBytes (anything else is
    // refused without being waited on). On failure answers false and explains why in `error`.
    static bool Read(const std::string &path, BoardConfig *config, std::string *error);

    // Finds and reads the board file: QRXSIM_CONFIG, else qrxsim.ini in `libraryDir`, else the
    // built-in set. Answers 0, kSimBoardFileMissing or kSimBoardFileBad (with `error` set).
    static int32_t Locate(const std::string &libraryDir, BoardConfig *config, std::string *error);

    // Identifies the board set as far as it shapes the shared state.
    uint64_t Fingerprint() const;

    // The position of the first board with card number `cardNo`, or -1.
    int PositionOf(int32_t cardNo) const;
};

const char *PatternName(InputPattern pattern);

// The model name the program shows for a board ("QRX-LM32DIO", "QRX-LN 8DI"), from its type
// and the count the type puts into its name; empty for a type the program does not know. The
// same rule as the program's card catalogue, kept here without its dependencies.
std::string ModelName(const BoardDef &board);
