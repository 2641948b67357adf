#pragma once
// The card catalogue: the names and texts every window shows for a board, the lookup from a
// card number to the board's position in the card map, and the card class. Pure functions of
// the records they are given (SystemInfo.h has the forms that read g_pSysInfo); the results are
// stored in the shared BoardTable while the workspace tree is built.

#include <QByteArray>
#include <QString>

#include <cstdint>

struct CardMap;
struct SystemInfo;

// Board type codes the program knows.
enum CardType : int32_t {
    kTypeLmDio = 174,
    kTypeLnDi = 2801,
    kTypeLnDo = 2802,
    kTypeLnDio = 2803,
};

// The family text of the digital I/O class: the tree's root and the Card Type lists.
QString FamilyText();

// True while the active board is of the digital I/O class, the only one this program knows.
// Windows and dialogs make their board calls only then.
bool IsDigitalIoActive(const SystemInfo *info);

// The board name (ANSI) of a type code, formatted with the count the type puts into its
// name; empty for a type code that has no name.
QByteArray BoardName(int32_t type, int32_t inputs, int32_t outputs);

// "<card number> : <board name>", naming a board in the tree and the controller selector.
QString CardLabel(int32_t cardNo, const char *boardName);

// The label of the active board, or empty when the active class is not digital I/O or the
// active card number is not in the card map.
QString ActiveCardLabel(const SystemInfo &info);

QString OutputCountText(int32_t outputs);
QString InputCountText(int32_t inputs);

// "Dll Ver. : a.b.c.d" from the characters 0, 2, 4 and the last of the decimal value.
QString LibraryVersionText(int32_t version);

// "Firmware Ver. : x.y" from the first and last lower-case hex digit; 0 and 0x51 show "0.0".
QString FirmwareVersionText(int32_t firmware);

// The first card map position below `boardCount` (bounded to the map's slots) holding the card
// number, or -1.
int32_t CardIndexOf(const CardMap &map, int32_t boardCount, int32_t cardNo);
