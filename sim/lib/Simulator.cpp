#include "Simulator.h"

#include "SimPaths.h"

#include <algorithm>
#include <iterator>

namespace {
// An address inside this library, to find the folder it was loaded from.
const char g_anchor = 0;
} // namespace

Simulator::Simulator()
{
    // The board file's log settings hold from the start, so that the log also shows the calls
    // made before the first load; a board file that cannot be read leaves the defaults.
    BoardConfig config;
    std::string reason;
    if (BoardConfig::Locate(SimPaths::DirOfAddress(&g_anchor), &config, &reason) == kSimOk) {
        m_log.setFile(config.logFile);
        m_log.setLevel(config.logLevel);
    } else {
        m_log.setFile(SimPaths::DefaultDataDir() + "/qrxsim.dbg");
    }
}

int32_t Simulator::Load(int32_t mode, std::string *reason)
{
    Unload();
    BoardConfig config;
    const int32_t located = BoardConfig::Locate(SimPaths::DirOfAddress(&g_anchor), &config, reason);
    // The board file's log settings hold from here on, also for the rest of this load, even
    // when it refuses the mode.
    if (located == kSimOk) {
        m_log.setFile(config.logFile);
        m_log.setLevel(config.logLevel);
    }
    if (mode != DXS_LOAD_AUTO && mode != DXS_LOAD_MANUAL) {
        reason->clear(); // the mode is the answer, whatever the board file holds
        return DXS_ERR_OPEN_MODE;
    }
    if (located != kSimOk)
        return located;
    if (config.loadStatus < 0)
        return config.loadStatus;
    if (config.requiredMode != BoardConfig::kNoRequiredMode && config.requiredMode != mode)
        return DXS_ERR_OPEN_MODE;
    std::string statePath;
    if (!SimPaths::StatePath(&statePath, reason) || !m_state.Open(statePath, config, false, reason))
        return kSimStateFileError;

    m_config = config;
    m_count = static_cast<int>(config.boards.size());
    std::fill(std::begin(m_quickPositions), std::end(m_quickPositions), int8_t(-1));
    for (int i = m_count - 1; i >= 0; --i) { // the first board of a number wins
        m_cardNos[i] = config.boards[i].cardNo;
        const BoardDef &b = config.boards[i];
        if (b.cardNo >= 0 && b.cardNo < kQuickCards)
            m_quickPositions[b.cardNo] = int8_t(i);
        m_inputs[i] = {b.inputMask(), b.inputPoints(), b.loopback, b.pattern != InputPattern::None};
    }
    m_loaded = true;
    return kSimOk;
}

void Simulator::Unload()
{
    m_loaded = false;
    m_count = 0;
    m_state.Close();
}
