#pragma once
// The System IO window: the Run LED of the active board, polled every 10 ms and switched by a
// click, and a card-number list that asks the workspace tree to make another board active.

#include <QColor>
#include <QWidget>

#include <cstdint>

class CImageButton;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QTabWidget;
class QTimer;

class BoardModel;

class CVL_SysIoWnd : public QWidget
{
    Q_OBJECT

public:
    explicit CVL_SysIoWnd(const BoardModel &model, QWidget *parent = nullptr);
    ~CVL_SysIoWnd() override;

    // The frame's title: "System IO - <board name>(<card number>)".
    static QString TitleText(const char *boardName, int32_t cardNo);

    // One poll of the Run LED (the 10 ms timer): one device call, and the image changes only
    // when the state shown differs from the state read.
    void OnTimer();
    // A click on the LED: writes the inverse of the state read.
    void OnLedClicked();
    // A choice in the card-number list.
    void OnCardSelected(int index);

    int32_t cardNo() const { return m_cardNo; }
    int32_t cardIndex() const { return m_cardIndex; }
    int32_t ledShown() const { return m_ledShown; }

    QTimer *pollTimer() const { return m_timer; }
    CImageButton *ledButton() const { return m_led; }
    CImageButton *closeButton() const { return m_close; }
    QComboBox *cardList() const { return m_cardList; }
    QLineEdit *runLedCaption() const { return m_caption; }
    QTabWidget *outputTab() const { return m_tab; }
    QGroupBox *cardGroup() const { return m_cardGroup; }

    static const QColor kCaptionBackground; // RGB(210, 210, 210)
    static const QColor kCaptionText; // RGB(0, 0, 255)

protected:
    bool event(QEvent *e) override;

private:
    const BoardModel &m_model;
    void CreateControls();
    void OnInitialUpdate();
    void FillCardList();
    void UpdateTitleAndResetLed();
    void ShowLed(bool on);
    // A board of the digital I/O class whose card number is in the card map is shown.
    bool HasBoard() const;
    void SetFrameTitle(const QString &title);

    int32_t m_cardNo = 0;
    int32_t m_cardIndex = 0;
    int32_t m_ledShown = 0;

    QTimer *m_timer = nullptr;
    QTabWidget *m_tab = nullptr;
    QLineEdit *m_caption = nullptr;
    CImageButton *m_led = nullptr;
    QGroupBox *m_cardGroup = nullptr;
    QComboBox *m_cardList = nullptr;
    CImageButton *m_close = nullptr;
};
