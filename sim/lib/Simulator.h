#pragma once
// The loaded system of the simulated library: the boards read from the board file, their
// shared live state and the diagnostic log. One instance lives in the library.

#include "BoardConfig.h"
#include "DeviceLog.h"
#include "SharedState.h"
#include "SimStatus.h"
#include "device/CardMap.h"

#include <string>

class Simulator
{
public:
    Simulator();

    // Reads the board file and maps the shared state. Any failure leaves the system unloaded;
    // `reason` then tells why, when there is more to say than the status.
    int32_t Load(int32_t mode, std::string *reason);
    void Unload();
    bool loaded() const { return m_loaded; }

    // kSimNotLoaded before a load, kSimStateLost once the state file was cut short under the
    // loaded system, else 0.
    int32_t Usable() const
    {
        if (!m_loaded)
            return kSimNotLoaded;
        return m_state.lost() ? kSimStateLost : kSimOk;
    }
    bool lost() const { return m_state.lost(); }

    // The position of the first board with card number `card`: 0 with `*position` set, or
    // kSimNotLoaded / kSimStateLost / kSimBadCard.
    int32_t Find(int32_t card, int *position) const
    {
        if (const int32_t usable = Usable())
            return usable;
        if (card >= 0 && card < kQuickCards) {
            *position = m_quickPositions[card];
            return *position >= 0 ? kSimOk : kSimBadCard;
        }
        for (int i = 0; i < m_count; ++i) {
            if (m_cardNos[i] == card) {
                *position = i;
                return kSimOk;
            }
        }
        return kSimBadCard;
    }

    // What a bit read asks of a board's inputs, worked out at the load and kept together.
    struct Inputs
    {
        uint64_t mask = 0; // the bits that are wired
        int32_t points = 0; // the input numbers a call may address: 0..points-1
        bool loopback = false;
        bool pattern = false;
    };
    const Inputs &inputs(int position) const { return m_inputs[position]; }

    int boardCount() const { return m_count; }
    const BoardDef &board(int position) const { return m_config.boards[position]; }
    BoardSlot &slot(int position) const { return m_state.slot(position); }
    const BoardConfig &config() const { return m_config; }
    DeviceLog &log() { return m_log; }

private:
    bool m_loaded = false;
    int m_count = 0;
    int32_t m_cardNos[kMaxBoards] = {};
    Inputs m_inputs[kMaxBoards];
    // The first position of each card number below kQuickCards (-1: none), found at the load,
    // so that a call on such a card does not search.
    static constexpr int kQuickCards = 64;
    int8_t m_quickPositions[kQuickCards] = {};
    BoardConfig m_config;
    SharedState m_state;
    DeviceLog m_log;
};
