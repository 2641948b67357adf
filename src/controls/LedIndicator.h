#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QIcon>
#include <QList>
#include <QStringList>

#include <functional>

class QPainter;

// One state of an LED indicator: caption colour, background colour and image.
struct LedData
{
    QColor crText;
    QColor crBk;
    QIcon hIcon;
    unsigned cx = 0;
    unsigned cy = 0;
};

// An owner-drawn indicator that shows the image of the state currently selected. It keeps a
// small list of states, repaints only when the shown state changes, and gives the user no way
// to change it: a click has no effect, pressing or focusing it shows nothing.
class CLedIndicator : public QAbstractButton
{
    Q_OBJECT

public:
    // Placement bits of the button style; the type bits always stay kStyleOwnerDraw.
    enum Style : unsigned {
        kStylePush = 0x00,
        kStyleOwnerDraw = 0x0B,
        kStyleTypeMask = 0x0F,
        kStyleLeftText = 0x20,
        kStyleRight = 0x200,
        kStyleCenter = 0x300,
    };

    // Item state bit that the painting looks at.
    enum ItemState : unsigned { kItemDisabled = 0x4 };

    // Consulted on every state selection: (requested, current, flag) -> state to select.
    using StateFilter = std::function<unsigned(unsigned, unsigned, bool)>;

    explicit CLedIndicator(QWidget *parent = nullptr);
    ~CLedIndicator() override;

    void SetStateCount(int count, bool repaint);
    bool SetStateIcon(unsigned state, int resourceId, int width, int height);
    bool SetStateIcon(unsigned state, const QIcon &image);
    void SetCurrentState(unsigned state, bool flag = false);
    void ResetStateColors(bool repaint);
    QColor GetStateBkColor(unsigned state) const;
    void ClearStateIcon(unsigned state);

    unsigned GetCurrentState() const { return m_currentState; }
    unsigned GetStateCount() const { return m_stateCount; }
    LedData GetStateData(unsigned state) const { return m_states.value(state); }

    // The button style; whatever type is asked for, the control stays owner-drawn.
    void SetButtonStyle(unsigned style);
    unsigned GetButtonStyle() const { return m_style; }

    // Revert timer: with a nonzero id, a state other than the default one returns to the
    // default state after the period (milliseconds). Id 0 switches the behaviour off.
    void SetRevertTimer(unsigned id, unsigned periodMs, unsigned defaultState);
    bool IsRevertTimerRunning() const { return m_revertTimerHandle != 0; }

    void SetStateFilter(StateFilter filter) { m_stateFilter = std::move(filter); }

    // Accessible name: the label followed by the text of the current state ("Input 5: on").
    // State texts default to "off" and "on" for states 0 and 1. With `toolTip` the tooltip
    // shows the same text; without, the control has none.
    void SetAccessibleLabel(const QString &label, const QStringList &stateTexts = {},
                            bool toolTip = false);

    // Paints the control into the item rectangle; only kItemDisabled of the state is looked at.
    void DrawItem(QPainter &painter, const QRect &item, unsigned itemState);

    // Where the image and the text area lie in an item of the given size.
    struct Layout
    {
        QRect image;
        QRect textArea;
    };
    static Layout ComputeLayout(const QRect &item, unsigned cx, unsigned cy, unsigned style);

    // The text area's format, and where the measured caption lands within the remembered
    // text area.
    static unsigned CaptionFormat(unsigned style);
    static QRect PlaceCaption(const QRect &remembered, const QRect &measured, unsigned style);

    static QString StateText(const QStringList &stateTexts, unsigned state);
    static QString AccessibleText(const QString &label, const QStringList &stateTexts,
                                  unsigned state);

protected:
    virtual void PaintBackground(QPainter &painter, const QRect &rect);

    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;
    void timerEvent(QTimerEvent *event) override;

private:
    void StopRevertTimer();
    void UpdateAccessibleText();

    QList<LedData> m_states;
    unsigned m_currentState = 0;
    unsigned m_stateCount = 0;
    bool m_disabled = false;
    unsigned m_style = kStyleOwnerDraw;
    int m_revertTimerHandle = 0;
    unsigned m_revertPeriod = 150;
    unsigned m_revertTimerId = 0;
    unsigned m_defaultState = 0;
    StateFilter m_stateFilter;
    QString m_accessibleLabel;
    QStringList m_stateTexts;
    bool m_toolTip = false;
};
