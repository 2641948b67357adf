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
        for (int i = 0; i < m_count; ++i) {
            if (m_cardNos[i] == card) {
                *position = i;
                return kSimOk;
            }
        }
        return kSimBadCard;
    }

    int boardCount() const { return m_count; }
    const BoardDef &board(int position) const { return m_config.boards[position]; }
    BoardSlot &slot(int position) const { return m_state.slot(position); }
    const BoardConfig &config() const { return m_config; }
    DeviceLog &log() { return m_log; }

private:
    bool m_loaded = false;
    int m_count = 0;
    int32_t m_cardNos[kMaxBoards] = {};
    BoardConfig m_config;
    SharedState m_state;
    DeviceLog m_log;
};
