#pragma once
// The Digital IO window: the view of window kind 101. It shows the active board's inputs as
// LEDs (input page) and switches its outputs by hand (output page), 32 bits per tab, refreshed
// from one 10 ms tick; it reads and writes the board's input filter, writes output patterns
// and a typed output word, and follows every change of the active board.

#include "view/ViewFrame.h"

#include <QString>
#include <QWidget>

#include <cstdint>

class BoardModel;
class CImageButton;
class CVL_DiWnd;
class CVL_DoWnd;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTimer;

class CVL_DIoWnd : public QWidget, public IFrameClosePrompt
{
    Q_OBJECT

public:
    // The pattern commands, in the order of their buttons.
    enum Pattern { Odd, Even, AllOn, AllOff };

    // Fills the card list, sets up for the active board and starts the tick.
    explicit CVL_DIoWnd(BoardModel &model, QWidget *parent = nullptr);
    ~CVL_DIoWnd() override;

    // One refresh: the input word field from the previous refresh, then inputs, then outputs.
    void OnTimer();
    // Rebuilds the window for cardIndex / cardNo.
    void SetupCard();
    // The output word field from the output page's word; then all three fields' data.
    void ShowDoValue();
    bool IsFilterParamChanged(int32_t cardClass);
    void SetFilterParam(int32_t cardClass);
    // The question asked before the frame closes, whoever closes it.
    void OnFrameClose() override;

    // The handlers of the controls, callable as a click or a key would call them.
    void OnInputTabChanged(int tab);
    void OnOutputTabChanged(int tab);
    void OnCardSelected(int index);
    void OnOutputDisableClicked();
    void OnPattern(Pattern pattern);
    void OnSetPrmClicked();
    void OnCloseClicked();
    void WriteTypedWord();

    // Board-type profile texts and the messages, exactly as the operator sees them.
    static const char *const kFilterQuestion;
    static const char *const kBadValueMessage;

    QTimer *timer() const { return m_timer; }
    QTabWidget *inputTabs() const { return m_inputTabs; }
    QTabWidget *outputTabs() const { return m_outputTabs; }
    QComboBox *cardList() const { return m_cardList; }
    QComboBox *enableList() const { return m_enableList; }
    QComboBox *timeList() const { return m_timeList; }
    QCheckBox *outputDisableBox() const { return m_outputDisableBox; }
    QPushButton *patternButton(Pattern pattern) const { return m_patternButtons[pattern]; }
    QLineEdit *diValueEdit() const { return m_diValueEdit; }
    QLineEdit *doValueEdit() const { return m_doValueEdit; }
    QWidget *inputHost() const { return m_inputHost; }
    QWidget *outputHost() const { return m_outputHost; }

    int32_t diCount = 0;
    int32_t doCount = 0;
    int32_t cardNo = 0;
    int32_t cardIndex = 0; // -1 when cardNo is not in the card map: no board is shown
    CImageButton *setPrmButton = nullptr;
    CImageButton *closeButton = nullptr;
    CVL_DiWnd *inputPage = nullptr;
    CVL_DoWnd *outputPage = nullptr;
    int32_t outputDisable = 0;
    QString diValueText;
    QString doValueText;

protected:
    bool event(QEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *e) override;

private:
    void CreateControls();
    void ConnectControls();
    void SetupPages();
    void FillCardList(int count);
    void ApplyBoardProfile();
    void SetOutputControls(bool disable);
    void UpdateDataToControls();
    void UpdateDataFromControls();
    void RebuildTabs(QTabWidget *tabs, QWidget *const pages[2], const char *prefix, int count);
    bool BoardShown() const { return cardIndex >= 0; }

    BoardModel &m_model;
    QTimer *m_timer = nullptr;
    QTabWidget *m_inputTabs = nullptr;
    QTabWidget *m_outputTabs = nullptr;
    QWidget *m_inputTabPages[2] = {};
    QWidget *m_outputTabPages[2] = {};
    QWidget *m_inputHost = nullptr;
    QWidget *m_outputHost = nullptr;
    QComboBox *m_cardList = nullptr;
    QComboBox *m_enableList = nullptr;
    QComboBox *m_timeList = nullptr;
    QLineEdit *m_diValueEdit = nullptr;
    QLineEdit *m_doValueEdit = nullptr;
    QCheckBox *m_outputDisableBox = nullptr;
    QPushButton *m_patternButtons[4] = {};
    uint32_t m_diTextWord = 0; // the word diValueText was made from
    bool m_diTextValid = false;
};
