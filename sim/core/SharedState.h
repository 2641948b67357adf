#pragma once
// The live state of the simulated boards in a memory-mapped file, shared by every process
// that simulates the same boards. Each field is read and written with lock-free atomics, so
// a bit read is a few loads; a lock (flock) is taken only while the file is built.

#include "BoardConfig.h"

#include <atomic>
#include <cstdint>
#include <string>

// One board's live state, as it lies in the file.
struct BoardSlot
{
    uint64_t held; // input bits set from outside
    uint64_t outputs;
    int32_t filterEnable;
    int32_t filterTime;
    int32_t checkOn; // Run LED
    // The parameters last loaded from the board's parameter file; a reset returns to them.
    int32_t loadedEnable;
    int32_t loadedTime;
    int32_t loadedCheckOn;
};

template<typename T> std::atomic_ref<T> Atomic(T &value)
{
    return std::atomic_ref<T>(value);
}

class SharedState
{
public:
    SharedState() = default;
    ~SharedState();
    SharedState(const SharedState &) = delete;
    SharedState &operator=(const SharedState &) = delete;

    // Maps the state file at `path`. A missing file, or one that does not hold `config`'s
    // boards or holds a value out of its range, is built afresh; `rebuild` builds it afresh in any
    // case. Other processes that have the file mapped see the new contents at once. The file's
    // blocks are reserved here, so a full disk fails the open.
    bool Open(const std::string &path, const BoardConfig &config, bool rebuild, std::string *error);
    void Close();
    bool isOpen() const { return m_layout != nullptr; }

    // True once the file was found cut short under the mapping (truncated by someone else):
    // the state then reads as zeros, and writes go nowhere, until the next Open. Inline, as
    // slot(): every bit call asks it, and a call into another file would cost more than the
    // read itself.
    bool lost() const { return m_lost->load(std::memory_order_relaxed); }

    // The slot of the board at card-map position `position` (0..15); the state must be open.
    BoardSlot &slot(int position) const { return m_boards[position]; }

private:
    // Whether every board's values lie in their ranges (a file that says otherwise is damaged).
    bool InRange(const BoardConfig &config) const;
    // Sets every board's state to zero and the header to `config`, under the file's lock.
    void Rebuild(const BoardConfig &config);

    struct Layout;
    Layout *m_layout = nullptr;
    int m_guard = -1; // the watch on the mapping, see SharedState.cpp
    BoardSlot *m_boards = nullptr; // in the mapping
    // The watch's flag, or one that stays false where the mapping goes unwatched.
    static inline const std::atomic<bool> s_unwatched{false};
    const std::atomic<bool> *m_lost = &s_unwatched;
};
