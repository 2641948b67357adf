#pragma once
// A board's parameter file: its filter enable, filter time code and Run LED, kept as a small
// key=value text in the data folder.

#include <cstddef>
#include <cstdint>
#include <string>

struct BoardParams
{
    int32_t filterEnable = 0;
    int32_t filterTime = 0;
    int32_t checkOn = 0;
};

class ParamFile
{
public:
    // A parameter file is some 80 bytes; anything beyond this is not one.
    static constexpr size_t kMaxBytes = 64 * 1024;

    // The file of the board with card number `cardNo` in `dataDir`.
    static std::string PathFor(const std::string &dataDir, int32_t cardNo);

    // Writes through a temporary file and a rename, so a reader never sees half a file. The
    // temporary is always a new file under a name nobody can foretell, held under a lock while
    // it exists. Saves and loads remove the temporaries of `path` that nobody holds (left by
    // saves that were killed).
    // Answers 0 or kSimParamFileWrite.
    static int32_t Save(const std::string &path, int32_t type, const BoardParams &params);

    // Answers 0, kSimParamFileMissing, or kSimParamFileCorrupt (also for a file written for
    // another board type, and for anything that is not a regular file of at most kMaxBytes);
    // `params` is written only on success.
    static int32_t Load(const std::string &path, int32_t type, BoardParams *params);
};
