#pragma once
// The main frame: menu bar, "Main" tool bar with the controller selector, status bar, the
// docked "System" pane with the board tree, and the MDI client holding the monitoring
// windows. It loads the device system at creation and unloads it when it is destroyed.

#include "model/BoardModel.h"

#include <QHash>
#include <QMainWindow>

#include <memory>

class CVL_WsSysWnd;
class LockKeys;
class QAction;
class QComboBox;
class QDockWidget;
class QLabel;
class QMdiArea;
class QMenu;
class QToolBar;

class CVL_MainFrame : public QMainWindow
{
    Q_OBJECT

public:
    // `executableDir` is the folder the settings file is looked for in. The frame reads and
    // changes the boards through `model`, or through a model of its own without one.
    explicit CVL_MainFrame(const QString &executableDir, BoardModel *model = nullptr);
    ~CVL_MainFrame() override;

    // Builds the bars and the pane, reads the settings, loads the device system, reads the
    // card map and loads every board's parameters. 0 on success, -1 on failure.
    int OnCreate();

    // Closes the frame as the Exit command does, but asks nothing: for an end that nobody may
    // be there to answer (the session or the terminal asked the program to end).
    void CloseWithoutQuestions();

    int32_t loadingMode() const { return m_loadingMode; }
    BoardModel &boardModel() const { return *m_model; }
    QMdiArea *mdiClient() const { return m_mdi; }
    CVL_WsSysWnd *systemTree() const { return m_tree; }
    QComboBox *controllerSelector() const { return m_selector; }
    QDockWidget *systemPane() const { return m_pane; }
    QToolBar *mainToolBar() const { return m_toolBar; }
    QAction *commandAction(int id) const { return m_actions.value(id); }

    // The active view of every MDI child frame, topmost first.
    QList<QWidget *> views() const;

    // The caption of the frame: "OrvaneSoftware_V14.0.0.0000_win64".
    static QString Caption();

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void CreateCommandBars();
    void CreateMenus();
    void CreateToolBar();
    void CreateStatusBar();
    void UpdateLockPanes();
    void CreateSystemPane();
    bool LoadSystem();
    void RestoreCommandBars();
    void SaveCommandBars();
    void FillWindowMenu();

    QAction *AddCommand(QMenu *menu, int id, const QString &text);
    void OnCommand(int id);
    void RunDialog(int id);
    void OnSelectorActivated(int index);
    void OnSelectorWheel(int angleDelta);
    void OpenWindow(int kind);
    void RefillSelector();
    void Broadcast(int message, intptr_t wParam);
    void RunExitQuestions();

    std::unique_ptr<BoardModel> m_ownModel;
    BoardModel *m_model;
    QString m_executableDir;
    int32_t m_loadingMode = 0;
    bool m_exitDone = false;
    bool m_askAtExit = true;
    int m_wheelRemainder = 0;

    QMdiArea *m_mdi = nullptr;
    QDockWidget *m_pane = nullptr;
    CVL_WsSysWnd *m_tree = nullptr;
    QToolBar *m_toolBar = nullptr;
    QComboBox *m_selector = nullptr;
    QMenu *m_windowMenu = nullptr;
    LockKeys *m_lockKeys = nullptr;
    QList<QLabel *> m_lockPanes; // CAP, NUM, SCRL
    QHash<int, QAction *> m_actions;
};
