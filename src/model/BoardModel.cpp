#include "model/BoardModel.h"

#include "device/CardCatalogue.h"
#include "device/DeviceTable.h"

BoardModel::BoardModel(QObject *parent)
    : QObject(parent)
{
}

BoardModel::~BoardModel() = default;

int32_t BoardModel::Check(int32_t status, const QString &call)
{
    if (status < 0 && m_failedCall.isEmpty())
        m_failedCall = call;
    return status;
}

int32_t BoardModel::LoadSystem(int32_t mode)
{
    m_failedCall.clear();
    int32_t count = 0;
    const int32_t status = Dev().DXS_devSysLoad(mode, &count);
    if (status >= 0) {
        info().boardTable->boardCount = count;
        m_loaded = true;
    }
    return Check(status, QStringLiteral("DXS_devSysLoad(mode=%1)").arg(mode));
}

int32_t BoardModel::ReadCardMap()
{
    m_failedCall.clear();
    return Check(Dev().DXS_devGnGetMotDevMap(info().cardMap->bytes),
                 QStringLiteral("DXS_devGnGetMotDevMap()"));
}

void BoardModel::LoadParameters()
{
    for (int i = 0; i < BoundBoards(boardTable().boardCount); ++i)
        Dev().DXS_devConParamLoad(cardMap().cardNo(i));
}

void BoardModel::ReadBoards()
{
    SystemInfo &si = info();
    const CardMap &map = cardMap();
    // More slots than the map holds cannot be read; the rest of a longer list is not shown.
    const int n = map.boardSlots();
    si.activeCardNo = map.cardNo(0);
    m_libraryVersion = 0;
    Dev().DXS_devConGetMApiVersion(si.activeCardNo, &m_libraryVersion);

    BoardTable &table = *si.boardTable;
    for (int i = 0; i < n; ++i) {
        BoardInfo &b = m_boards[i];
        b = BoardInfo{};
        b.cardNo = map.cardNo(i);
        b.type = map.cardType(i);
        Dev().DXS_devGnGetDioNum(b.cardNo, &b.inputs, &b.outputs);
        Dev().DXS_devConGetFwVersion(b.cardNo, &b.firmware);
        b.name = BoardName(b.type, b.inputs, b.outputs);
        // A board whose type has no name keeps no record: no window lists it by name.
        if (b.name.isEmpty())
            continue;
        CopyAnsi(table.boardName[i], kPathBytes, b.name.constData());
        table.diCount[i] = b.inputs;
        table.doCount[i] = b.outputs;
    }
    if (n > 0) {
        si.activeCardType = kDigitalIoClass;
        si.previousCardType = kDigitalIoClass;
    }
    emit boardsLoaded();
}

int32_t BoardModel::ReadBoard(int position)
{
    m_failedCall.clear();
    if (position < 0 || position >= boardSlots())
        return 0;
    BoardInfo &b = m_boards[position];
    b = BoardInfo{};
    b.cardNo = cardMap().cardNo(position);
    b.type = cardMap().cardType(position);
    const QString card = QStringLiteral("(card=%1)").arg(b.cardNo);
    int32_t status = Check(Dev().DXS_devGnGetDioNum(b.cardNo, &b.inputs, &b.outputs),
                           QStringLiteral("DXS_devGnGetDioNum") + card);
    if (status >= 0)
        status = Check(Dev().DXS_devConGetFwVersion(b.cardNo, &b.firmware),
                       QStringLiteral("DXS_devConGetFwVersion") + card);
    if (status >= 0)
        status = Check(Dev().DXS_devConGetMApiVersion(b.cardNo, &b.mapiVersion),
                       QStringLiteral("DXS_devConGetMApiVersion") + card);
    b.name = BoardName(b.type, b.inputs, b.outputs);
    return status;
}

int32_t BoardModel::Unload(bool evenWithoutBoards)
{
    if (!m_loaded)
        return 0;
    m_loaded = false;
    if (cardMap().mapCount() == 0 && !evenWithoutBoards)
        return 0;
    m_failedCall.clear();
    return Check(Dev().DXS_devSysUnload(), QStringLiteral("DXS_devSysUnload()"));
}

const BoardInfo &BoardModel::board(int position) const
{
    return m_boards[std::clamp(position, 0, kMaxBoards - 1)];
}

int32_t BoardModel::CardIndexOf(int32_t cardNo) const
{
    return ::CardIndexOf(cardMap(), boardTable().boardCount, cardNo);
}

const BoardInfo *BoardModel::FindBoard(int32_t cardNo) const
{
    for (int i = 0; i < boardSlots(); ++i)
        if (m_boards[i].cardNo == cardNo && cardMap().cardNo(i) == cardNo)
            return &m_boards[i];
    return nullptr;
}

QString BoardModel::CardLabelAt(int position) const
{
    const int i = std::clamp(position, 0, kMaxBoards - 1);
    return CardLabel(cardMap().cardNo(i), boardTable().boardName[i]);
}

bool BoardModel::IsDigitalIoActive() const
{
    return ::IsDigitalIoActive(&record());
}

QString BoardModel::ActiveCardLabel() const
{
    return ::ActiveCardLabel(record());
}

void BoardModel::SetActiveCard(int32_t cardNo)
{
    info().activeCardNo = cardNo;
    emit activeCardChanged(cardNo);
}

void BoardModel::SetActiveCardType(int32_t cardType)
{
    info().activeCardType = cardType;
}

void BoardModel::MarkParamChanged(int32_t cardNo)
{
    SetParamChanged(activeCardType(), cardNo, true);
}

void BoardModel::SetParamChanged(int32_t cardClass, int32_t cardNo, bool changed)
{
    if (cardClass < 0 || cardClass >= kCardClasses || cardNo < 0 || cardNo >= kMaxBoards)
        return;
    info().paramChanged[cardClass][cardNo] = changed ? 1 : 0;
    emit paramChanged(cardClass, cardNo, changed);
}

bool BoardModel::IsParamChanged(int32_t cardClass, int32_t cardNo) const
{
    if (cardClass < 0 || cardClass >= kCardClasses || cardNo < 0 || cardNo >= kMaxBoards)
        return false;
    return record().paramChanged[cardClass][cardNo] == 1;
}

void BoardModel::SetSettingsPath(const QString &path)
{
    CopyAnsi(info().settingsPath, kPathBytes, path.toLocal8Bit().constData());
}

QString BoardModel::settingsPath() const
{
    return QString::fromLocal8Bit(record().settingsPath,
                                  qstrnlen(record().settingsPath, kPathBytes));
}

void BoardModel::SetLogSettings(int32_t level, const QByteArray &file)
{
    CopyAnsi(info().logFilePath, kPathBytes, file.constData());
    info().logLevel = level;
}

bool BoardModel::SetFocusViewKind(int32_t kind)
{
    info().focusViewKind = kind;
    if (record().announcedViewKind == kind)
        return false;
    info().announcedViewKind = kind;
    return true;
}

void BoardModel::LoadNames(const QString &path)
{
    m_names.Load(path);
}
