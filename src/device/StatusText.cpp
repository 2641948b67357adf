#include "device/StatusText.h"

#include "device/LoadedLibrary.h"
#include "device/qrxDApi.h"

namespace {

struct StatusEntry
{
    int32_t status;
    const char *loadText; // the program's start-up text, or nullptr
    const char *meaning;
    bool simulator; // one of the simulated library's own statuses
};

// The simulator's numbers are those of sim/core/SimStatus.h (a test holds them together).
constexpr StatusEntry kStatuses[] = {
    {DXS_ERR_MEMORY_CREATE, "Fail! Memory Create Error...",
     "the driver's shared memory could not be created", false},
    {DXS_ERR_DEVICE_HANDLE, "Fail! Device Handle Error...", "the device could not be opened",
     false},
    {DXS_ERR_CONTROLLER_NOT_FOUND, "Fail! Controller Not Found Error...", "no controller was found",
     false},
    {DXS_ERR_DIP_SWITCH, "Fail! DIP Switch Error...", "a board's DIP switches are set wrong",
     false},
    {DXS_ERR_PCI_BUS_LINE, "Fail! PCI Bus Line Error...", "a PCI bus line failed", false},
    {DXS_ERR_MODULE_POSITION, "Fail! Module Position Error...", "a module is in the wrong position",
     false},
    {DXS_ERR_NOT_SUPPORT_PROCESS, "Fail! Not Support the Process...",
     "the library does not support this process", false},
    {DXS_ERR_OPEN_MODE, nullptr, "the controller is open in the other loading mode", false},
    {-2001, nullptr, "the device system is not loaded", true},
    {-2002, nullptr, "no board has this card number", true},
    {-2003, nullptr, "the point is outside the board", true},
    {-2004, nullptr, "no such filter module", true},
    {-2005, nullptr, "the value is out of range", true},
    {-2006, nullptr, "an out-pointer is null", true},
    {-2007, nullptr, "the path is 260 bytes or longer", true},
    {-2010, nullptr, "the board file does not exist", true},
    {-2011, nullptr, "the board file cannot be read or is bad", true},
    {-2012, nullptr, "the state file cannot be used", true},
    {-2013, nullptr, "the state file was cut short; the next load rebuilds it", true},
    {-2020, nullptr, "the parameter file does not exist", true},
    {-2021, nullptr, "the parameter file is corrupt", true},
    {-2022, nullptr, "the parameter file could not be written", true},
    {-2030, nullptr, "no log line can be written there", true},
};

const StatusEntry *Find(int32_t status)
{
    for (const StatusEntry &entry : kStatuses)
        if (entry.status == status)
            return &entry;
    return nullptr;
}

} // namespace

const char *LoadTextOf(int32_t status)
{
    const StatusEntry *entry = Find(status);
    return entry ? entry->loadText : nullptr;
}

QString StatusMeaning(int32_t status, bool simulated)
{
    const StatusEntry *entry = Find(status);
    if (!entry || (entry->simulator && !simulated))
        return {};
    return QString::fromLatin1(entry->meaning);
}

QString StatusText(int32_t status, bool simulated)
{
    const QString meaning = StatusMeaning(status, simulated);
    return meaning.isEmpty() ? QString::number(status)
                             : QStringLiteral("%1: %2").arg(status).arg(meaning);
}

QString StatusText(int32_t status)
{
    return StatusText(status, LoadedLibrary().simulated);
}
