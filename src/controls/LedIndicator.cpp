#include "controls/LedIndicator.h"

#include "platform/Draw.h"
#include "platform/Resources.h"
#include "platform/SysColors.h"

#include <QEvent>
#include <QPainter>
#include <QTimerEvent>

#include <algorithm>

CLedIndicator::CLedIndicator(QWidget *parent)
    : QAbstractButton(parent)
{
    // Nothing to operate: the indicator never takes the keyboard focus.
    setFocusPolicy(Qt::NoFocus);
    SetStateCount(2, false);
}

CLedIndicator::~CLedIndicator()
{
    StopRevertTimer();
    m_states.clear();
    m_stateCount = 0;
}

void CLedIndicator::SetStateCount(int count, bool repaint)
{
    for (unsigned state = 0; state < m_stateCount; ++state)
        ClearStateIcon(state);
    m_states.clear();
    // A negative count would be an array of no states.
    m_stateCount = unsigned(std::max(count, 0));
    m_states.resize(m_stateCount);
    ResetStateColors(repaint);
    UpdateAccessibleText();
}

bool CLedIndicator::SetStateIcon(unsigned state, int resourceId, int width, int height)
{
    if (state >= m_stateCount)
        return false;
    const QSize size = (width == 0 && height == 0) ? QSize() : QSize(width, height);
    return SetStateIcon(state, Resources::Icon(resourceId, size));
}

bool CLedIndicator::SetStateIcon(unsigned state, const QIcon &image)
{
    if (state >= m_stateCount)
        return false;
    ClearStateIcon(state);
    if (image.isNull())
        return true;
    const QSize size = Resources::IconSize(image);
    if (size.isEmpty())
        return false;
    LedData &data = m_states[state];
    data.hIcon = image;
    data.cx = unsigned(size.width());
    data.cy = unsigned(size.height());
    return true;
}

void CLedIndicator::SetCurrentState(unsigned state, bool flag)
{
    if (m_stateFilter)
        state = m_stateFilter(state, m_currentState, flag);
    if (state == m_currentState)
        return;
    if (state < m_stateCount)
        m_currentState = state;
    if (m_revertTimerId != 0) {
        StopRevertTimer();
        if (m_currentState != m_defaultState)
            m_revertTimerHandle = startTimer(int(m_revertPeriod));
    }
    UpdateAccessibleText();
    update();
}

void CLedIndicator::ResetStateColors(bool repaint)
{
    const QColor text = SystemColor(palette(), kColorButtonText);
    const QColor face = SystemColor(palette(), kColorButtonFace);
    for (LedData &data : m_states) {
        data.crText = text;
        data.crBk = face;
    }
    if (repaint)
        update();
}

QColor CLedIndicator::GetStateBkColor(unsigned state) const
{
    if (state >= m_stateCount)
        return SystemColor(palette(), kColorButtonFace);
    return m_states[state].crBk;
}

void CLedIndicator::ClearStateIcon(unsigned state)
{
    if (state >= m_stateCount)
        return;
    LedData &data = m_states[state];
    data.hIcon = QIcon();
    data.cx = 0;
    data.cy = 0;
}

void CLedIndicator::SetButtonStyle(unsigned style)
{
    const unsigned ownerDrawn = (style & ~unsigned(kStyleTypeMask)) | kStyleOwnerDraw;
    if (ownerDrawn == m_style)
        return;
    m_style = ownerDrawn;
    update();
}

void CLedIndicator::SetRevertTimer(unsigned id, unsigned periodMs, unsigned defaultState)
{
    StopRevertTimer();
    m_revertTimerId = id;
    m_revertPeriod = periodMs;
    m_defaultState = defaultState;
}

void CLedIndicator::SetAccessibleLabel(const QString &label, const QStringList &stateTexts,
                                       bool toolTip)
{
    m_accessibleLabel = label;
    m_stateTexts = stateTexts;
    if (m_toolTip && !toolTip)
        setToolTip(QString());
    m_toolTip = toolTip;
    UpdateAccessibleText();
}

QString CLedIndicator::StateText(const QStringList &stateTexts, unsigned state)
{
    static const QStringList defaults = {QStringLiteral("off"), QStringLiteral("on")};
    const QStringList &texts = stateTexts.isEmpty() ? defaults : stateTexts;
    return state < unsigned(texts.size()) ? texts[state] : QString::number(state);
}

QString CLedIndicator::AccessibleText(const QString &label, const QStringList &stateTexts,
                                      unsigned state)
{
    const QString stateText = StateText(stateTexts, state);
    return label.isEmpty() ? stateText : label + QStringLiteral(": ") + stateText;
}

void CLedIndicator::UpdateAccessibleText()
{
    if (m_accessibleLabel.isEmpty())
        return;
    setAccessibleName(AccessibleText(m_accessibleLabel, m_stateTexts, m_currentState));
    setAccessibleDescription(StateText(m_stateTexts, m_currentState));
    if (m_toolTip)
        setToolTip(accessibleName());
}

CLedIndicator::Layout CLedIndicator::ComputeLayout(const QRect &item, unsigned cx, unsigned cy,
                                                   unsigned style)
{
    // Classic rectangle edges: right and bottom are exclusive.
    int textLeft = item.x(), textRight = item.x() + item.width();
    int imageLeft;
    if (style & kStyleLeftText) {
        imageLeft = textRight - int(cx);
        textRight = imageLeft - 3;
    } else {
        imageLeft = textLeft;
        textLeft = imageLeft + int(cx) + 3;
    }
    // Centred on the item's height alone: the item's own top is 0 for a control.
    const int imageTop = (item.height() - int(cy)) / 2;
    Layout layout;
    layout.image = QRect(imageLeft, imageTop, int(cx), int(cy));
    layout.textArea = QRect(textLeft, item.y(), textRight - textLeft, item.height());
    return layout;
}

unsigned CLedIndicator::CaptionFormat(unsigned style)
{
    unsigned format = Draw::kTextWordBreak | Draw::kTextVCenter;
    if ((style & kStyleCenter) == kStyleCenter)
        format |= Draw::kTextCenter;
    else if (style & kStyleRight)
        format |= Draw::kTextRight;
    return format;
}

QRect CLedIndicator::PlaceCaption(const QRect &remembered, const QRect &measured, unsigned style)
{
    const int dy = (remembered.height() - measured.height()) / 2;
    int dx = 0;
    if ((style & kStyleCenter) == kStyleCenter)
        dx = (remembered.width() - measured.width()) / 2;
    else if (style & kStyleRight)
        dx = remembered.width() - measured.width();
    return measured.translated(dx, dy);
}

void CLedIndicator::DrawItem(QPainter &painter, const QRect &item, unsigned itemState)
{
    m_disabled = (itemState & kItemDisabled) != 0;
    painter.setFont(font());
    PaintBackground(painter, item);

    LedData data;
    if (m_currentState < m_stateCount) {
        data = m_states[m_currentState];
    } else {
        data.crText = SystemColor(palette(), kColorButtonText);
        data.crBk = SystemColor(palette(), kColorButtonFace);
    }
    const Layout layout = ComputeLayout(item, data.cx, data.cy, m_style);
    if (!data.hIcon.isNull())
        Draw::DrawIcon(painter, layout.image.topLeft(), data.hIcon, layout.image.size(),
                       m_disabled);

    const QString caption = text();
    if (caption.isEmpty())
        return;
    const unsigned format = CaptionFormat(m_style);
    QRect area = layout.textArea;
    Draw::PaintText(painter, caption, area, format | Draw::kTextMeasure, data.crText);
    area = PlaceCaption(layout.textArea, area, m_style);
    if (m_disabled) {
        QRect shifted = area.translated(1, 1);
        Draw::PaintText(painter, caption, shifted, format,
                        SystemColor(palette(), kColorButtonHighlight));
        Draw::PaintText(painter, caption, area, format, SystemColor(palette(), kColorButtonShadow));
    } else {
        Draw::PaintText(painter, caption, area, format, data.crText);
    }
}

void CLedIndicator::PaintBackground(QPainter &painter, const QRect &rect)
{
    Draw::FillRect(painter, rect, GetStateBkColor(m_currentState));
}

void CLedIndicator::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    DrawItem(painter, rect(), isEnabled() ? 0u : unsigned(kItemDisabled));
}

void CLedIndicator::changeEvent(QEvent *event)
{
    QAbstractButton::changeEvent(event);
    // A palette change is this toolkit's system colour change.
    if (event->type() == QEvent::PaletteChange)
        ResetStateColors(true);
}

void CLedIndicator::timerEvent(QTimerEvent *event)
{
    if (m_revertTimerId != 0 && event->timerId() == m_revertTimerHandle) {
        SetCurrentState(m_defaultState, false);
        return;
    }
    QAbstractButton::timerEvent(event);
}

void CLedIndicator::StopRevertTimer()
{
    if (m_revertTimerHandle != 0) {
        killTimer(m_revertTimerHandle);
        m_revertTimerHandle = 0;
    }
}
