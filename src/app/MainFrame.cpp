#include "app/MainFrame.h"

#include "app/AboutDlg.h"
#include "app/ChildFrame.h"
#include "app/Commands.h"
#include "config/PointNames.h"
#include "config/Settings.h"
#include "device/CardCatalogue.h"
#include "device/DeviceTable.h"
#include "device/LoadedLibrary.h"
#include "device/SystemLoad.h"
#include "diag/PointNamesDlg.h"
#include "plant/PlantBrokerDlg.h"
#include "platform/DialogKeys.h"
#include "platform/DialogUnits.h"
#include "platform/LockKeys.h"
#include "platform/MessageBox.h"
#include "platform/Messages.h"
#include "platform/Resources.h"
#include "res/ResourceIds.h"
#include "settings/SysCfgDlg.h"
#include "system/LogLevDlg.h"
#include "system/SavePrmDlg.h"
#include "system/SysRstDlg.h"
#include "system/WsSysWnd.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDockWidget>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QSettings>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QWheelEvent>

#include <cstdio>
#include <memory>

namespace {

constexpr int kSystemPaneId = 4000;
constexpr int kWheelStep = 120;

QSettings LayoutSettings()
{
    return QSettings(Settings::LayoutPath(), QSettings::IniFormat);
}

} // namespace

CVL_MainFrame::CVL_MainFrame(const QString &executableDir, BoardModel *model)
    : m_ownModel(model ? nullptr : std::make_unique<BoardModel>())
    , m_model(model ? model : m_ownModel.get())
    , m_executableDir(executableDir)
{
    SetMainWindow(this);
    setWindowTitle(Caption());
    setWindowIcon(Resources::ProgramIcon());
}

CVL_MainFrame::~CVL_MainFrame()
{
    // The monitoring windows go first, so that none of them polls an unloaded system.
    if (m_mdi)
        for (QMdiSubWindow *child : m_mdi->subWindowList())
            delete child;
    m_model->Unload();
    if (MainWindow() == this)
        SetMainWindow(nullptr);
}

QString CVL_MainFrame::Caption()
{
    return QStringLiteral("OrvaneSoftware_V14.0.0.0000_win64");
}

int CVL_MainFrame::OnCreate()
{
    m_mdi = new QMdiArea(this);
    m_mdi->setObjectName(QStringLiteral("MdiClient"));
    setCentralWidget(m_mdi);
    CreateStatusBar();
    CreateCommandBars();

    const QString settingsPath = Settings::ChooseSettingsPath(m_executableDir);
    m_model->SetSettingsPath(settingsPath);
    Settings::LoadAtStartup(settingsPath, &m_loadingMode);
    m_model->LoadNames(PointNames::PathBeside(settingsPath));

    CreateSystemPane();
    if (!LoadSystem())
        return -1;
    m_model->ReadCardMap();

    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_model->LoadParameters();
    QApplication::restoreOverrideCursor();

    if (m_tree)
        SendWindowMessage(m_tree, UM_REFRESH_SYSTEM);
    m_model->SetLogSettings(m_model->record().logLevel, "C:\\Default.dbg");
    return 0;
}

bool CVL_MainFrame::LoadSystem()
{
    for (;;) {
        const int32_t status = m_model->LoadSystem(m_loadingMode);
        if (status >= 0)
            return true;
        if (status != DXS_ERR_OPEN_MODE) {
            ShowFailure(this, LoadFailureText(status));
            return false;
        }
        if (!AskYesNo(this, OpenModeQuestion()))
            return false;
        m_loadingMode = m_loadingMode == 0 ? 1 : 0;
    }
}

void CVL_MainFrame::CreateStatusBar()
{
    QStatusBar *bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar"));
    if (LoadedLibrary().simulated) {
        // Nobody should take the simulated boards for a live machine.
        auto *simulated = new QLabel(QStringLiteral("Simulated boards"), bar);
        simulated->setObjectName(QStringLiteral("SimulatedBoards"));
        simulated->setAlignment(Qt::AlignCenter);
        simulated->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        simulated->setAutoFillBackground(true);
        QPalette colors = simulated->palette();
        colors.setColor(QPalette::Window, QColor(255, 230, 0));
        colors.setColor(QPalette::WindowText, Qt::black);
        simulated->setPalette(colors);
        simulated->setToolTip(QDir::toNativeSeparators(LoadedLibrary().path));
        bar->addPermanentWidget(simulated);
    }
    for (const char *pane : {"CAP", "NUM", "SCRL"}) {
        auto *label = new QLabel(QString::fromLatin1(pane), bar);
        label->setObjectName(QString::fromLatin1(pane));
        label->setAlignment(Qt::AlignCenter);
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        bar->addPermanentWidget(label);
        m_lockPanes << label;
    }
    m_lockKeys = new LockKeys(this);
    connect(m_lockKeys, &LockKeys::changed, this, &CVL_MainFrame::UpdateLockPanes);
    UpdateLockPanes();
}

// A lock's pane is shown when the lock is on and dimmed when it is off or cannot be told.
void CVL_MainFrame::UpdateLockPanes()
{
    const LockKeys::Key keys[] = {LockKeys::CapsLock, LockKeys::NumLock, LockKeys::ScrollLock};
    for (int i = 0; i < m_lockPanes.size(); ++i)
        m_lockPanes[i]->setEnabled(m_lockKeys->isOn(keys[i]));
}

QAction *CVL_MainFrame::AddCommand(QMenu *menu, int id, const QString &text)
{
    auto *action = new QAction(text, this);
    action->setData(id);
    action->setStatusTip(CommandStatusText(id));
    connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
    if (menu)
        menu->addAction(action);
    m_actions.insert(id, action);
    return action;
}

void CVL_MainFrame::CreateCommandBars()
{
    CreateMenus();
    CreateToolBar();
    RestoreCommandBars();

    // The monitoring windows without a view stay visible but disabled.
    m_actions.value(ID_DIGITAL_IO)->setEnabled(CChildFrame::HasView(kDigitalIoView));
    m_actions.value(ID_SYSTEM_IO)->setEnabled(CChildFrame::HasView(kSystemIoView));
    m_actions.value(ID_CHANGE_LOG)->setEnabled(CChildFrame::HasView(kChangeLogView));
    m_actions.value(ID_PLANT)->setEnabled(CChildFrame::HasView(kPlantView));
}

void CVL_MainFrame::CreateMenus()
{
    QMenuBar *bar = menuBar();
    bar->setObjectName(QStringLiteral("Menu Bar"));

    QMenu *system = bar->addMenu(QStringLiteral("&System"));
    AddCommand(system, ID_SAVE_PARAM, QStringLiteral("Save Parameter"));
    AddCommand(system, ID_SYS_RESET, QStringLiteral("System Reset"));
    AddCommand(system, ID_ENV_SETUP, QStringLiteral("Environment Setup"));
    system->addSeparator();
    AddCommand(system, ID_APP_EXIT, QStringLiteral("E&xit"));

    QMenu *setup = bar->addMenu(QStringLiteral("S&etup"));
    AddCommand(setup, ID_LOG_LEVEL, QStringLiteral("Log Level"));
    AddCommand(setup, ID_POINT_NAMES, QStringLiteral("Point Names"));
    AddCommand(setup, ID_PLANT_BROKER, QStringLiteral("Plant Broker..."));

    QMenu *monitoring = bar->addMenu(QStringLiteral("&Monitoring"));
    AddCommand(monitoring, ID_DIGITAL_IO, QStringLiteral("Digital IO"));
    AddCommand(monitoring, ID_CHANGE_LOG, QStringLiteral("Change Log"));
    AddCommand(monitoring, ID_PLANT, QStringLiteral("Plant"));

    m_windowMenu = bar->addMenu(QStringLiteral("&Window"));
    AddCommand(m_windowMenu, ID_WINDOW_CASCADE, QStringLiteral("&Cascade"));
    AddCommand(m_windowMenu, ID_WINDOW_CLOSE_ALL, QStringLiteral("Close All"));
    connect(m_windowMenu, &QMenu::aboutToShow, this, &CVL_MainFrame::FillWindowMenu);

    QMenu *help = bar->addMenu(QStringLiteral("&Help"));
    AddCommand(help, ID_APP_ABOUT, QStringLiteral("&About Orvane"));
}

// The controller selector, then System IO and Digital IO.
void CVL_MainFrame::CreateToolBar()
{
    m_toolBar = new QToolBar(QStringLiteral("Main"), this);
    m_toolBar->setObjectName(QStringLiteral("Main"));
    m_toolBar->setIconSize(QSize(32, 32));
    m_selector = new QComboBox(m_toolBar);
    m_selector->setObjectName(QStringLiteral("ControllerSelector"));
    m_selector->setFixedWidth(128);
    // The template font, as on the original's tool bar: a full label fits the 128 pixels.
    m_selector->setFont(TemplateFont());
    m_selector->setToolTip(QStringLiteral("Active controller"));
    m_selector->installEventFilter(this);
    // Only a new selection activates a board: choosing the current entry again changes nothing.
    // The program moves the selection with the signal blocked.
    connect(m_selector, &QComboBox::currentIndexChanged, this, &CVL_MainFrame::OnSelectorActivated);
    m_toolBar->addWidget(m_selector);
    m_toolBar->addSeparator();
    for (int id : {ID_SYSTEM_IO, ID_DIGITAL_IO}) {
        QAction *action =
            id == ID_DIGITAL_IO ? m_actions.value(id) : AddCommand(nullptr, id, QString());
        action->setIcon(Resources::ToolBarIcon(id));
        action->setToolTip(CommandStatusText(id));
        if (action->text().isEmpty())
            action->setText(CommandStatusText(id));
        m_toolBar->addAction(action);
        // Tab reaches the buttons, so a window can be opened without a mouse: System IO has
        // no other way in. Space presses a focused button, and Enter does too.
        if (auto *button = qobject_cast<QToolButton *>(m_toolBar->widgetForAction(action))) {
            button->setFocusPolicy(Qt::TabFocus);
            ClickOnEnter(button);
        }
    }
    addToolBar(Qt::TopToolBarArea, m_toolBar);
}

void CVL_MainFrame::CreateSystemPane()
{
    m_pane = new QDockWidget(QStringLiteral("System"), this);
    m_pane->setObjectName(QString::number(kSystemPaneId));
    m_pane->setFeatures(QDockWidget::DockWidgetMovable);
    m_pane->setAllowedAreas(Qt::LeftDockWidgetArea);
    if (!m_tree)
        m_tree = new CVL_WsSysWnd(*m_model, m_pane);
    m_pane->setWidget(m_tree);
    addDockWidget(Qt::LeftDockWidgetArea, m_pane);
    resizeDocks({m_pane}, {200}, Qt::Horizontal);

    // The tool bar's buttons follow the tree in the tab order, so the focus a start gives
    // stays where it was (the tree, or the selector while it is enabled).
    QWidget *previous = m_tree;
    for (int id : {ID_SYSTEM_IO, ID_DIGITAL_IO}) {
        QWidget *button = m_toolBar ? m_toolBar->widgetForAction(m_actions.value(id)) : nullptr;
        if (button) {
            setTabOrder(previous, button);
            previous = button;
        }
    }
}

void CVL_MainFrame::RestoreCommandBars()
{
    QSettings settings = LayoutSettings();
    settings.beginGroup(QStringLiteral("CommandBars"));
    m_toolBar->setVisible(settings.value(QStringLiteral("MainVisible"), true).toBool());
    const int area = settings.value(QStringLiteral("MainArea"), int(Qt::TopToolBarArea)).toInt();
    if (area == Qt::LeftToolBarArea || area == Qt::RightToolBarArea ||
        area == Qt::BottomToolBarArea)
        addToolBar(Qt::ToolBarArea(area), m_toolBar);
}

void CVL_MainFrame::SaveCommandBars()
{
    QString error;
    const bool saved = Settings::ChangeQtSettings(
        Settings::LayoutPath(),
        [this](QSettings &settings) {
            settings.beginGroup(QStringLiteral("CommandBars"));
            settings.setValue(QStringLiteral("MainVisible"), !m_toolBar->isHidden());
            settings.setValue(QStringLiteral("MainArea"), int(toolBarArea(m_toolBar)));
            settings.endGroup();
            settings.setValue(QStringLiteral("NormalLayout"), saveState());
        },
        &error);
    // The exit goes on: a layout that cannot be kept only costs the tool bar's place.
    if (!saved)
        std::fprintf(stderr, "The window layout was not saved: %s\n", qPrintable(error));
}

void CVL_MainFrame::FillWindowMenu()
{
    for (QAction *action : m_windowMenu->actions())
        if (action->property("windowListEntry").toBool())
            delete action;
    const QList<QMdiSubWindow *> children = m_mdi->subWindowList();
    if (!children.isEmpty())
        m_windowMenu->addSeparator()->setProperty("windowListEntry", true);
    int number = 1;
    for (QMdiSubWindow *child : children) {
        QAction *entry = m_windowMenu->addAction(
            QStringLiteral("&%1 %2").arg(number++).arg(child->windowTitle()));
        entry->setProperty("windowListEntry", true);
        entry->setCheckable(true);
        entry->setChecked(child == m_mdi->activeSubWindow());
        connect(entry, &QAction::triggered, m_mdi,
                [this, child] { m_mdi->setActiveSubWindow(child); });
    }
}

void CVL_MainFrame::OnCommand(int id)
{
    switch (id) {
    case ID_APP_EXIT:
        close();
        break;
    case ID_WINDOW_CASCADE:
        m_mdi->cascadeSubWindows();
        break;
    case ID_WINDOW_CLOSE_ALL:
        for (QWidget *view : views())
            CloseViewFrame(view);
        break;
    case ID_DIGITAL_IO:
        SendWindowMessage(this, UM_OPEN_WINDOW, kDigitalIoView);
        break;
    case ID_CHANGE_LOG:
        SendWindowMessage(this, UM_OPEN_WINDOW, kChangeLogView);
        break;
    case ID_PLANT:
        SendWindowMessage(this, UM_OPEN_WINDOW, kPlantView);
        break;
    case ID_SYSTEM_IO:
        SendWindowMessage(this, UM_OPEN_WINDOW, kSystemIoView);
        break;
    case ID_SET_ACTIVE_CONTROLLER:
        if (m_tree)
            SendWindowMessage(m_tree, UM_ACTIVE_CARD_CHANGED);
        break;
    default:
        RunDialog(id);
        break;
    }
}

// The dialog of a command, run modally; nothing for a command without one.
void CVL_MainFrame::RunDialog(int id)
{
    std::unique_ptr<QDialog> dialog;
    switch (id) {
    case ID_APP_ABOUT:
        dialog = std::make_unique<CAboutDlg>(this);
        break;
    case ID_SAVE_PARAM:
        dialog = std::make_unique<CVL_SavePrmDlg>(*m_model, m_model->activeCardNo(), this);
        break;
    case ID_SYS_RESET:
        dialog = std::make_unique<CVL_SysRstDlg>(*m_model, m_model->activeCardNo(), this);
        break;
    case ID_ENV_SETUP:
        dialog = std::make_unique<CVL_SysCfgDlg>(*m_model, this);
        break;
    case ID_LOG_LEVEL:
        dialog = std::make_unique<CVL_LogLevDlg>(*m_model, this);
        break;
    case ID_POINT_NAMES:
        dialog = std::make_unique<CVL_PointNamesDlg>(*m_model, m_model->activeCardNo(), this);
        break;
    case ID_PLANT_BROKER:
        dialog = std::make_unique<CVL_PlantBrokerDlg>(m_model->settingsPath(), this);
        break;
    default:
        return;
    }
    dialog->exec();
}

QList<QWidget *> CVL_MainFrame::views() const
{
    QList<QWidget *> result;
    if (!m_mdi)
        return result;
    const QList<QMdiSubWindow *> order = m_mdi->subWindowList(QMdiArea::StackingOrder);
    for (auto it = order.crbegin(); it != order.crend(); ++it)
        if (QWidget *view = (*it)->widget())
            result << view;
    return result;
}

void CVL_MainFrame::Broadcast(int message, intptr_t wParam)
{
    for (QWidget *view : views())
        SendWindowMessage(view, message, wParam);
}

void CVL_MainFrame::OpenWindow(int kind)
{
    if (CChildFrame *open = CChildFrame::OpenFrame(kind)) {
        if (open->isMinimized())
            open->showNormal();
        m_mdi->setActiveSubWindow(open);
        open->raise();
        return;
    }
    CChildFrame::Create(kind, m_mdi, *m_model);
}

void CVL_MainFrame::RefillSelector()
{
    const QSignalBlocker block(m_selector);
    m_selector->clear();
    if (m_model->activeCardType() != kDigitalIoClass)
        return;
    const int boards = m_model->boardSlots();
    for (int i = 0; i < boards; ++i)
        m_selector->addItem(m_model->CardLabelAt(i));
    m_selector->setCurrentIndex(0);
    if (boards == 1)
        m_selector->setEnabled(false);
    else if (boards > 1)
        m_selector->setEnabled(true);
}

void CVL_MainFrame::OnSelectorActivated(int index)
{
    if (index < 0 || index >= m_model->boardSlots() || !m_tree)
        return;
    SendWindowMessage(m_tree, UM_SELECT_CARD, m_model->cardNo(index));
}

void CVL_MainFrame::OnSelectorWheel(int angleDelta)
{
    const int boards = m_model->boardSlots();
    m_wheelRemainder += angleDelta;
    while (qAbs(m_wheelRemainder) >= kWheelStep) {
        const int step = m_wheelRemainder < 0 ? 1 : -1;
        m_wheelRemainder += step * kWheelStep;
        if (boards == 0 || !m_tree)
            continue;
        const int position = qBound(0, m_selector->currentIndex() + step, boards - 1);
        // The combo box's own wheel handling is swallowed, so the selection moves here.
        {
            const QSignalBlocker block(m_selector);
            m_selector->setCurrentIndex(position);
        }
        SendWindowMessage(m_tree, UM_WHEEL_SELECT_CARD, m_model->cardNo(position));
    }
}

bool CVL_MainFrame::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_selector && event->type() == QEvent::Wheel) {
        OnSelectorWheel(static_cast<QWheelEvent *>(event)->angleDelta().y());
        return true; // the combo box's own wheel handling would choose an entry as well
    }
    return QMainWindow::eventFilter(watched, event);
}

bool CVL_MainFrame::event(QEvent *event)
{
    WindowMessage *m = WindowMessage::From(event);
    if (!m)
        return QMainWindow::event(event);
    switch (int(m->type())) {
    case UM_OPEN_WINDOW:
        OpenWindow(int(m->wParam));
        break;
    case UM_REFRESH_SYSTEM:
        RefillSelector();
        break;
    case UM_ACTIVE_CARD_CHANGED: {
        const QSignalBlocker block(m_selector);
        m_selector->setCurrentIndex(m_model->CardIndexOf(m_model->activeCardNo()));
        Broadcast(UM_ACTIVE_CARD_CHANGED, 0);
        break;
    }
    case UM_PARAM_CHANGED:
        if (m->wParam >= 0 && m->wParam < kMaxBoards)
            m_model->MarkParamChanged(int32_t(m->wParam));
        break;
    case UM_VIEW_SELECT_CARD:
        if (m_tree)
            SendWindowMessage(m_tree, UM_VIEW_SELECT_CARD, m->wParam);
        break;
    case UM_VIEW_FOCUSED:
        Broadcast(UM_VIEW_FOCUSED, m->wParam);
        break;
    case UM_CARD_LIST_CHANGED:
        Broadcast(UM_CARD_LIST_CHANGED, 0);
        break;
    default:
        break;
    }
    return true;
}

void CVL_MainFrame::RunExitQuestions()
{
    for (int card = 0; card < kMaxBoards && m_askAtExit; ++card) {
        // Log Level Setup marks card 0 whether or not there is one: ask only about boards
        // that exist, since a save for any other card number fails.
        if (!m_model->IsParamChanged(kDigitalIoClass, card) || m_model->CardIndexOf(card) < 0)
            continue;
        const QString question = QStringLiteral("QRX-LMxxxP(%1) board parameters are changed.\n"
                                                "Do you want to save parameter to file?")
                                     .arg(card);
        if (AskYesNo(this, question))
            CVL_SavePrmDlg::SaveCard(this, card); // a failure is reported; the exit goes on
    }
}

void CVL_MainFrame::CloseWithoutQuestions()
{
    m_askAtExit = false; // also ends questions already under way
    close();
}

void CVL_MainFrame::closeEvent(QCloseEvent *event)
{
    if (!m_exitDone) {
        m_exitDone = true;
        RunExitQuestions();
        SaveCommandBars();
    }
    event->accept();
}
