#pragma once
// One board of an agent in the Plant window: its inputs and outputs as the program's LEDs,
// named from the inventory, and the outputs the agent lets the network switch as buttons
// showing the state the board reports. Points whose state is unknown, and every point of a
// board or agent that is unavailable, show the "not present" image, never a last value as live.

#include "plant/PlantModel.h"

#include <QWidget>

#include <array>
#include <functional>

class CImageButton;
class CLedIndicator;
class QGridLayout;
class QLabel;

class CBoardPanel : public QWidget
{
    Q_OBJECT

public:
    explicit CBoardPanel(QWidget *parent = nullptr);

    // Builds the panel for `board` (null: empty); `live` false greys every point.
    void Show(const RemoteBoard *board, const QString &title, bool live);
    // Updates the shown states from `board`, the same board as Show's.
    void Update(const RemoteBoard &board, bool live);
    void SetPending(int point, bool pending);

    CLedIndicator *led(PointDir dir, int point) const;
    CImageButton *outputSwitch(int point) const { return m_switches[size_t(point)]; }
    // The state a point shows: 0 off, 1 on, 2 not available.
    unsigned ShownState(PointDir dir, int point) const;

    // A switch was clicked.
    std::function<void(int point)> onSwitch;

private:
    void Clear();
    QWidget *MakeGroup(const RemoteBoard &board, PointDir dir);
    static QString Caption(const RemoteBoard &board, PointDir dir, int point);

    QLabel *m_title = nullptr;
    QWidget *m_body = nullptr;
    std::array<CLedIndicator *, 64> m_leds[2] = {};
    std::array<CImageButton *, 64> m_switches = {};
    std::array<unsigned, 64> m_shown[2] = {};
    uint64_t m_pending = 0;
};
