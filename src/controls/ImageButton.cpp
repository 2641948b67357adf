#include "controls/ImageButton.h"

#include <utility>

#include "platform/Draw.h"
#include "platform/Resources.h"
#include "platform/SysColors.h"

#include <QApplication>
#include <QEvent>
#include <QMouseEvent>
#include <QPainter>

CImageButton::CImageButton(QWidget *parent)
    : CImageButton(QString(), parent)
{
}

CImageButton::CImageButton(const QString &text, QWidget *parent)
    : QPushButton(text, parent)
{
    ResetButtonColors(false);
}

CImageButton::~CImageButton()
{
    ReleaseButtonImages();
}

int CImageButton::LoadButtonIcons(int activeId, int activeWidth, int activeHeight, int idleId,
                                  int idleWidth, int idleHeight)
{
    auto load = [](int id, int width, int height) {
        const QSize size = (width == 0 && height == 0) ? QSize() : QSize(width, height);
        return Resources::Icon(id, size);
    };
    const QIcon active = load(activeId, activeWidth, activeHeight);
    if (idleId == IDLE_GREY || idleId == IDLE_DARKER)
        return SetButtonIcons(active, QIcon(), idleId);
    const QIcon idle = idleId != 0 ? load(idleId, idleWidth, idleHeight) : QIcon();
    return SetButtonIcons(active, idle, 0);
}

int CImageButton::LoadButtonIcons(int activeId, int idleId)
{
    return LoadButtonIcons(activeId, 0, 0, idleId, 0, 0);
}

int CImageButton::SetButtonIcons(const QIcon &active, const QIcon &idle)
{
    return SetButtonIcons(active, idle, 0);
}

int CImageButton::SetButtonIcons(const QIcon &active, DerivedIdle idle)
{
    return SetButtonIcons(active, QIcon(), idle);
}

int CImageButton::SetButtonIcons(const QIcon &active, const QIcon &idle, int derived)
{
    ReleaseButtonImages();
    if (!active.isNull()) {
        const QSize activeSize = Resources::IconSize(active);
        if (activeSize.isEmpty()) {
            ReleaseButtonImages();
            update();
            return RESULT_BAD_IMAGE;
        }
        m_images[0] = {active, activeSize};

        QIcon idleIcon = idle;
        if (derived == IDLE_GREY)
            idleIcon = Resources::FilteredIcon(active, GreyPixel);
        else if (derived == IDLE_DARKER)
            idleIcon = Resources::FilteredIcon(active, DarkerPixel);
        if (derived != 0 || !idleIcon.isNull()) {
            const QSize idleSize = Resources::IconSize(idleIcon);
            if (idleSize.isEmpty()) {
                ReleaseButtonImages();
                update();
                return RESULT_BAD_IMAGE;
            }
            m_images[1] = {idleIcon, idleSize};
        }
    }
    update();
    return RESULT_OK;
}

void CImageButton::ReleaseButtonImages()
{
    m_images[0] = {};
    m_images[1] = {};
}

void CImageButton::SetFlatLook(bool flat, bool repaint)
{
    m_flat = flat;
    if (repaint)
        update();
}

void CImageButton::ResetButtonColors(bool repaint)
{
    for (int situation = ACTIVE; situation <= FOCUSED; ++situation) {
        m_bkColors[situation] = SystemColor(palette(), kColorButtonFace);
        m_textColors[situation] = SystemColor(palette(), kColorButtonText);
    }
    if (repaint)
        update();
}

void CImageButton::SetAccessibleLabel(const QString &label, const QString &stateText, bool toolTip)
{
    setAccessibleName(stateText.isEmpty() ? label : label + QStringLiteral(": ") + stateText);
    setAccessibleDescription(stateText);
    if (toolTip || !this->toolTip().isEmpty())
        setToolTip(toolTip ? accessibleName() : QString());
}

QPoint CImageButton::PlaceImage(bool hasCaption, const QRect &item, QRect &captionArea,
                                bool shifted, QSize image, int margin, QPoint pressedShift)
{
    QPoint topLeft = item.topLeft();
    if (hasCaption) {
        topLeft.rx() += margin;
        captionArea.setLeft(captionArea.left() + image.width() + margin);
    } else {
        topLeft.rx() += (item.width() - image.width()) / 2;
    }
    topLeft.ry() += (item.height() - image.height()) / 2;
    if (shifted)
        topLeft += pressedShift;
    return topLeft;
}

QRect CImageButton::PlaceCaption(const QRect &area, const QRect &measured)
{
    return measured.translated((area.width() - measured.width()) / 2,
                               (area.height() - measured.height()) / 2);
}

QRgb CImageButton::GreyPixel(QRgb pixel)
{
    // Exact integer truncation of 0.299 R + 0.587 G + 0.114 B.
    const int g = (299 * qRed(pixel) + 587 * qGreen(pixel) + 114 * qBlue(pixel)) / 1000;
    return qRgba(g, g, g, qAlpha(pixel));
}

QRgb CImageButton::DarkerPixel(QRgb pixel)
{
    // Exact integer truncation of c - 0.25 c.
    auto darker = [](int c) {
        return 3 * c / 4;
    };
    return qRgba(darker(qRed(pixel)), darker(qGreen(pixel)), darker(qBlue(pixel)), qAlpha(pixel));
}

QWidget *CImageButton::NextTabItem(QWidget *parent, QWidget *from)
{
    if (!parent || !from)
        return nullptr;
    for (QWidget *w = from->nextInFocusChain(); w && w != from; w = w->nextInFocusChain()) {
        if (parent->isAncestorOf(w) && w->isEnabled() && w->isVisibleTo(parent) &&
            (w->focusPolicy() & Qt::TabFocus))
            return w;
    }
    return nullptr;
}

void CImageButton::DrawItem(QPainter &painter, const QRect &item, unsigned itemState)
{
    m_pressed = (itemState & kItemSelected) != 0;
    if (CheckBoxMode())
        m_pressed = m_pressed || isChecked();
    m_focused = (itemState & kItemFocus) != 0;
    m_disabled = (itemState & kItemDisabled) != 0;
    painter.setFont(font());

    QRect frame = item;
    PaintBackground(painter, frame);
    PaintBorder(painter, frame);

    const QString caption = text();
    QRect captionArea = item;
    if (!m_images[0].icon.isNull())
        PaintIcon(painter, !caption.isEmpty(), item, captionArea, m_pressed, m_disabled);
    if (!caption.isEmpty())
        PaintCaption(painter, caption, item, captionArea, m_pressed, m_disabled);

    if (m_focused && (!m_flat || m_flatFocus))
        Draw::DrawFocusRect(painter, frame.adjusted(3, 3, -3, -3),
                            SystemColor(palette(), kColorButtonText));
}

void CImageButton::PaintBackground(QPainter &painter, QRect &frame)
{
    if (!m_flat && (m_focused || isDefault())) {
        Draw::FrameRect(painter, frame, QColor(0, 0, 0));
        frame.adjust(1, 1, -1, -1);
    }
    QColor fill = m_bkColors[IDLE];
    if (m_pressed || m_hover)
        fill = m_bkColors[ACTIVE];
    else if (m_focused)
        fill = m_bkColors[FOCUSED];
    Draw::FillRect(painter, frame, fill);
}

void CImageButton::PaintBorder(QPainter &painter, const QRect &frame)
{
    const QPalette &pal = palette();
    if (m_pressed) {
        if (!m_flat)
            Draw::FrameRect(painter, frame, SystemColor(pal, kColorButtonShadow));
        else if (m_drawBorder)
            Draw::Draw3dRect(painter, frame, SystemColor(pal, kColorButtonShadow),
                             SystemColor(pal, kColorButtonHighlight));
        return;
    }
    if (m_flat) {
        if (m_hover && m_drawBorder)
            Draw::Draw3dRect(painter, frame, SystemColor(pal, kColorButtonHighlight),
                             SystemColor(pal, kColorButtonShadow));
        return;
    }
    // Classic edges: right and bottom are exclusive.
    const int l = frame.x(), t = frame.y(), r = l + frame.width(), b = t + frame.height();
    Draw::Polyline(painter, {{l, b - 1}, {l, t}, {r, t}}, SystemColor(pal, kColorButtonHighlight));
    Draw::Polyline(painter, {{l + 1, b - 1}, {l + 1, t + 1}, {r, t + 1}},
                   SystemColor(pal, kColor3dLight));
    Draw::Polyline(painter, {{l, b - 1}, {r - 1, b - 1}, {r - 1, t - 1}},
                   SystemColor(pal, kColor3dDarkShadow));
    Draw::Polyline(painter, {{l + 1, b - 2}, {r - 2, b - 2}, {r - 2, t}},
                   SystemColor(pal, kColorButtonShadow));
}

void CImageButton::PaintIcon(QPainter &painter, bool hasCaption, const QRect &item,
                             QRect &captionArea, bool pressed, bool disabled)
{
    const bool showActive = CheckBoxMode() ? pressed : (pressed || m_hover);
    const ButtonImage &image =
        (showActive || m_images[1].icon.isNull()) ? m_images[0] : m_images[1];
    const QPoint topLeft = PlaceImage(hasCaption, item, captionArea, pressed && !CheckBoxMode(),
                                      image.size, m_horizontalMargin, m_pressedShift);
    Draw::DrawIcon(painter, topLeft, image.icon, image.size, disabled);
}

void CImageButton::PaintCaption(QPainter &painter, const QString &caption, const QRect &,
                                QRect &captionArea, bool pressed, bool disabled)
{
    if (pressed && !CheckBoxMode())
        captionArea.translate(m_pressedShift);
    const unsigned format = Draw::kTextWordBreak | Draw::kTextCenter;
    QRect measured = captionArea;
    Draw::PaintText(painter, caption, measured, format | Draw::kTextMeasure, QColor());
    QRect area = PlaceCaption(captionArea, measured);
    const QPalette &pal = palette();
    if (disabled) {
        QRect shifted = area.translated(1, 1);
        Draw::PaintText(painter, caption, shifted, format, SystemColor(pal, kColorButtonHighlight));
        Draw::PaintText(painter, caption, area, format, SystemColor(pal, kColorButtonShadow));
        return;
    }
    QColor color = m_textColors[IDLE];
    if (m_hover || pressed)
        color = m_textColors[ACTIVE];
    else if (m_focused)
        color = m_textColors[FOCUSED];
    Draw::PaintText(painter, caption, area, format, color);
}

void CImageButton::paintEvent(QPaintEvent *)
{
    unsigned state = 0;
    if (isDown())
        state |= kItemSelected;
    if (hasFocus())
        state |= kItemFocus;
    if (!isEnabled())
        state |= kItemDisabled;
    QPainter painter(this);
    DrawItem(painter, rect(), state);
}

void CImageButton::changeEvent(QEvent *event)
{
    QPushButton::changeEvent(event);
    switch (event->type()) {
    case QEvent::EnabledChange:
        if (!isEnabled()) {
            // A disabled button hands its keyboard focus on to the next tab item of the parent.
            // Only a button that held the focus does: taking it from wherever the user is
            // typing would be a fault. Qt has already taken the focus away by now.
            QWidget *parent = parentWidget();
            if (parent && std::exchange(m_focusLostToDisable, false)) {
                QWidget *next = NextTabItem(parent, this);
                (next ? next : parent)->setFocus(Qt::TabFocusReason);
            }
            EndHover();
        }
        break;
    case QEvent::ActivationChange:
        if (!isActiveWindow())
            EndHover();
        break;
    case QEvent::PaletteChange:
        ResetButtonColors(true);
        break;
    default:
        break;
    }
}

void CImageButton::focusOutEvent(QFocusEvent *event)
{
    m_focusLostToDisable = !isEnabled();
    QPushButton::focusOutEvent(event);
    EndHover();
}

void CImageButton::enterEvent(QEnterEvent *event)
{
    QPushButton::enterEvent(event);
    TrackHover();
}

void CImageButton::leaveEvent(QEvent *event)
{
    QPushButton::leaveEvent(event);
    EndHover();
}

void CImageButton::mouseMoveEvent(QMouseEvent *event)
{
    QPushButton::mouseMoveEvent(event);
    if (rect().contains(event->position().toPoint()))
        TrackHover();
    else
        EndHover();
}

void CImageButton::mouseDoubleClickEvent(QMouseEvent *event)
{
    // The second click of a fast double click is an ordinary click.
    if (isDown())
        event->accept();
    else
        mousePressEvent(event);
}

void CImageButton::TrackHover()
{
    if ((QApplication::mouseButtons() & Qt::LeftButton) && !m_hover)
        return;
    if (!m_flat)
        return;
    if (!m_alwaysTrack && !QApplication::activeWindow())
        return;
    if (!m_hover) {
        m_hover = true;
        update();
    }
}

void CImageButton::EndHover()
{
    if (m_flat && m_hover) {
        m_hover = false;
        update();
    }
}
