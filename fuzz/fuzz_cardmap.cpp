// Fuzzes the card map decoding with the card catalogue. The input is what the device library
// would hand over: the 1040-byte card map, the board count of the system load, then for each
// of the 16 slots the input count, output count and firmware the board reports, the library
// version and an active card number (missing bytes read as zero). The records are filled the
// way the workspace tree fills them, and every catalogue function is called for every slot
// the bounded counts allow.
#include "device/CardCatalogue.h"
#include "device/SystemInfo.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

class Input
{
public:
    Input(const uint8_t *data, size_t size)
        : m_data(data)
        , m_size(size)
    {
    }
    void Bytes(void *out, size_t n)
    {
        std::memset(out, 0, n);
        const size_t take = m_pos < m_size ? std::min(n, m_size - m_pos) : 0;
        std::memcpy(out, m_data + m_pos, take);
        m_pos += n;
    }
    int32_t Int()
    {
        int32_t v;
        Bytes(&v, sizeof v);
        return v;
    }

private:
    const uint8_t *m_data;
    size_t m_size;
    size_t m_pos = 0;
};

void Check(bool ok, const char *what, int slot)
{
    if (ok)
        return;
    std::fprintf(stderr, "fuzz_cardmap: %s (slot %d)\n", what, slot);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    SystemRecords records;
    SystemInfo *info = records.info();
    CardMap &map = *info->cardMap;
    BoardTable &table = *info->boardTable;

    Input in(data, size);
    in.Bytes(map.bytes, sizeof map.bytes);
    table.boardCount = in.Int();
    int32_t inputs[kMaxBoards], outputs[kMaxBoards], firmware[kMaxBoards];
    for (int i = 0; i < kMaxBoards; ++i) {
        inputs[i] = in.Int();
        outputs[i] = in.Int();
        firmware[i] = in.Int();
    }
    const int32_t version = in.Int();
    const int32_t activeCardNo = in.Int();

    Check(LibraryVersionText(version).startsWith(QLatin1String("Dll Ver. : ")), "version", -1);
    Check(FamilyText() == QLatin1String("QRX-LxxxDIO"), "family", -1);

    // What the workspace tree does for each slot of the map.
    const int mapSlots = map.boardSlots();
    Check(mapSlots >= 0 && mapSlots <= kMaxBoards, "slot count out of range", mapSlots);
    for (int i = 0; i < mapSlots; ++i) {
        const QByteArray name = BoardName(map.cardType(i), inputs[i], outputs[i]);
        Check(name.isEmpty() || (name.startsWith("QRX-L") && name.size() < 32), "board name", i);
        if (name.isEmpty())
            continue;
        CopyAnsi(table.boardName[i], kPathBytes, name.constData());
        const QString label = CardLabel(map.cardNo(i), table.boardName[i]);
        Check(label == QString::number(map.cardNo(i)) + QLatin1String(" : ") + QLatin1String(name),
              "card label", i);
        table.diCount[i] = inputs[i];
        table.doCount[i] = outputs[i];
        Check(OutputCountText(outputs[i]).startsWith(QLatin1String("DO : ")), "DO text", i);
        Check(InputCountText(inputs[i]).startsWith(QLatin1String("D I : ")), "D I text", i);
        const QString fw = FirmwareVersionText(firmware[i]);
        Check(fw.startsWith(QLatin1String("Firmware Ver. : ")) && fw.size() == 19, "firmware", i);
    }

    // What the windows do with the board count of the load: look up each slot's card number.
    const int boards = BoundBoards(table.boardCount);
    for (int i = 0; i < kMaxBoards; ++i) {
        const int32_t k = CardIndexOf(map, table.boardCount, map.cardNo(i));
        Check(k >= -1 && k < boards, "CardIndexOf out of range", i);
        Check(k < 0 || map.cardNo(k) == map.cardNo(i), "CardIndexOf wrong board", i);
        Check(i >= boards || (k >= 0 && k <= i), "CardIndexOf missed a board", i);
    }

    info->activeCardType = kDigitalIoClass;
    info->activeCardNo = activeCardNo;
    const int32_t k = CardIndexOf(map, table.boardCount, activeCardNo);
    const QString active = ActiveCardLabel(*info);
    Check(k < 0 ? active.isEmpty() : active == CardLabel(activeCardNo, table.boardName[k]),
          "active card label", k);
    info->activeCardType = kDigitalIoClass + 1;
    Check(ActiveCardLabel(*info).isEmpty(), "active label outside the digital I/O class", k);
    return 0;
}
