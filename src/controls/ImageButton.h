#pragma once

#include <QIcon>
#include <QPushButton>

class QPainter;

// The owner-drawn push button of every dialog and monitoring window: a classic raised 3-D
// border, an image left of the caption (or centred without one), a pressed look that shifts
// image and caption by one pixel, a black frame for the default or focused button, a dotted
// focus rectangle and a greyed look when disabled. A click reaches the owner as an ordinary
// click; the button itself changes nothing.
class CImageButton : public QPushButton
{
    Q_OBJECT

public:
    // Item state bits of a paint.
    enum ItemState : unsigned {
        kItemSelected = 0x01,
        kItemDisabled = 0x04,
        kItemFocus = 0x10,
    };

    // Idle image arguments that derive the idle image from the active one.
    enum DerivedIdle : int {
        IDLE_GREY = -2, // grey copy
        IDLE_DARKER = -3, // copy darkened by 25 %
    };

    // Results of SetButtonIcons and LoadButtonIcons.
    enum Result : int {
        RESULT_OK = 0,
        RESULT_BAD_IMAGE = 1, // an image whose size cannot be read
    };

    // The three situations that have a background and a text colour each.
    enum Situation { ACTIVE = 0, IDLE = 1, FOCUSED = 2 };

    explicit CImageButton(QWidget *parent = nullptr);
    explicit CImageButton(const QString &text, QWidget *parent = nullptr);
    ~CImageButton() override;

    // Images from resource ids; a size of 0 x 0 is the image's own size. The idle id may be
    // 0 (no idle image), IDLE_GREY or IDLE_DARKER.
    int LoadButtonIcons(int activeId, int activeWidth, int activeHeight, int idleId, int idleWidth,
                        int idleHeight);
    int LoadButtonIcons(int activeId, int idleId);

    // The button takes the images over; a null active image leaves the button without one.
    int SetButtonIcons(const QIcon &active, const QIcon &idle = QIcon());
    int SetButtonIcons(const QIcon &active, DerivedIdle idle);

    void SetFlatLook(bool flat, bool repaint);
    void ResetButtonColors(bool repaint);

    bool GetFlatLook() const { return m_flat; }
    bool IsHover() const { return m_hover; }
    QIcon GetActiveImage() const { return m_images[0].icon; }
    QIcon GetIdleImage() const { return m_images[1].icon; }
    QSize GetActiveImageSize() const { return m_images[0].size; }
    QColor GetBackgroundColor(Situation situation) const { return m_bkColors[situation]; }
    QColor GetTextColor(Situation situation) const { return m_textColors[situation]; }

    // Accessible name: the label followed by the state ("Output 5: on"). With `toolTip` the
    // tooltip shows the same text; without, the button has none.
    void SetAccessibleLabel(const QString &label, const QString &stateText, bool toolTip = false);

    // Paints the button into the item rectangle for the given item state.
    void DrawItem(QPainter &painter, const QRect &item, unsigned itemState);

    // Where the image's top-left corner lies, and the caption area left of the image taken
    // off (with a caption). A shifted image moves by the pressed shift.
    static QPoint PlaceImage(bool hasCaption, const QRect &item, QRect &captionArea, bool shifted,
                             QSize image, int margin = 3, QPoint pressedShift = QPoint(1, 1));

    // The measured caption centred as a block in its area.
    static QRect PlaceCaption(const QRect &area, const QRect &measured);

    // Pixels of the derived idle images.
    static QRgb GreyPixel(QRgb pixel);
    static QRgb DarkerPixel(QRgb pixel);

    // The tab item after `from` among the descendants of `parent` that can take the focus.
    static QWidget *NextTabItem(QWidget *parent, QWidget *from);

protected:
    virtual void PaintBackground(QPainter &painter, QRect &frame);
    virtual void PaintBorder(QPainter &painter, const QRect &frame);
    virtual void PaintIcon(QPainter &painter, bool hasCaption, const QRect &item,
                           QRect &captionArea, bool pressed, bool disabled);
    virtual void PaintCaption(QPainter &painter, const QString &caption, const QRect &item,
                              QRect &captionArea, bool pressed, bool disabled);

    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    struct ButtonImage
    {
        QIcon icon;
        QSize size;
    };

    int SetButtonIcons(const QIcon &active, const QIcon &idle, int derived);
    void ReleaseButtonImages();
    void TrackHover();
    void EndHover();
    bool CheckBoxMode() const { return isCheckable(); }

    int m_horizontalMargin = 3;
    QPoint m_pressedShift = QPoint(1, 1);
    bool m_flat = true;
    bool m_hover = false;
    bool m_pressed = false;
    bool m_focused = false;
    bool m_disabled = false;
    bool m_drawBorder = true;
    bool m_flatFocus = false;
    bool m_alwaysTrack = true;
    bool m_focusLostToDisable = false; // Qt took the focus because the button was disabled
    QColor m_bkColors[3];
    QColor m_textColors[3];
    ButtonImage m_images[2];
};
