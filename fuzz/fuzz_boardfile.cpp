// Fuzzes the simulator's board-file parser: the input is written as a board file and read. A
// file that is accepted must give values inside the bounds the simulator relies on; a file
// that is refused must say where and leave the configuration as it was.
#include "BoardConfig.h"
#include "device/CardMap.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

void Check(bool ok, const char *what)
{
    if (ok)
        return;
    std::fprintf(stderr, "fuzz_boardfile: %s\n", what);
    std::abort();
}

// On a memory file system where there is one, so that the disk does not set the pace.
char g_dir[] = "/dev/shm/fuzz_boardfile.XXXXXX";

void RemoveFolder()
{
    unlink((std::string(g_dir) + "/qrxsim.ini").c_str());
    rmdir(g_dir);
}

const std::string &FilePath()
{
    static const std::string path = [] {
        if (!mkdtemp(g_dir)) {
            std::memcpy(g_dir, "/tmp/fuzz_boardfile.XXXXXX", sizeof "/tmp/fuzz_boardfile.XXXXXX");
            Check(mkdtemp(g_dir) != nullptr, "no temporary folder");
        }
        std::atexit(RemoveFolder);
        return std::string(g_dir) + "/qrxsim.ini";
    }();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string &path = FilePath();
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char *>(data), std::streamsize(size));
        Check(bool(out), "cannot write the board file");
    }

    BoardConfig config = BoardConfig::BuiltIn();
    const uint64_t before = config.Fingerprint();
    std::string error;
    if (!BoardConfig::Read(path, &config, &error)) {
        Check(error.rfind(path + ":", 0) == 0, "a refusal that does not name the file");
        Check(config.Fingerprint() == before && config.source == "built-in",
              "a refused file changed the configuration");
        return 0;
    }

    Check(config.source == path, "source is not the board file");
    Check(config.boards.size() <= size_t(kMaxBoards), "more boards than slots");
    Check(config.requiredMode >= BoardConfig::kNoRequiredMode && config.requiredMode <= 1,
          "RequiredMode out of range");
    Check(config.loadStatus <= 0, "a positive forced load status");
    Check(config.logLevel >= 0 && config.logLevel <= 5, "LogLevel out of range");
    for (const std::string *p : {&config.dataDir, &config.logFile})
        Check(p->size() < size_t(kPathBytes), "a path too long for the library's buffer");
    for (size_t i = 0; i < config.boards.size(); ++i) {
        const BoardDef &b = config.boards[i];
        Check(b.cardNo >= 0, "a negative card number");
        Check(b.inputs >= 0 && b.inputs <= kMaxPoints, "Inputs out of range");
        Check(b.outputs >= 0 && b.outputs <= kMaxPoints, "Outputs out of range");
        const int at = config.PositionOf(b.cardNo);
        Check(at >= 0 && size_t(at) <= i && config.boards[size_t(at)].cardNo == b.cardNo,
              "PositionOf does not find the board");
        Check(PatternName(b.pattern) != nullptr, "pattern without a name");
    }
    config.Fingerprint();
    return 0;
}
