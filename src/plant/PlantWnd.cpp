#include "plant/PlantWnd.h"

#include "plant/BoardPanel.h"
#include "plant/PasswordStore.h"
#include "plant/PlantFeed.h"
#include "platform/MessageBox.h"
#include "platform/Resources.h"
#include "res/ResourceIds.h"

#include <QDateTime>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSplitter>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int kAnswerTimeoutMs = 5000;
constexpr int kListPeriodMs = 250;
constexpr int kCardRole = Qt::UserRole + 1;
constexpr int kPrefixRole = Qt::UserRole + 2;

CVL_PlantWnd::PasswordPrompt &Prompt()
{
    static CVL_PlantWnd::PasswordPrompt prompt = [](QWidget *parent, const QString &text) {
        bool ok = false;
        const QString password = QInputDialog::getText(parent, QStringLiteral("Plant Broker"), text,
                                                       QLineEdit::Password, QString(), &ok);
        return ok ? std::optional<QByteArray>(password.toUtf8()) : std::nullopt;
    };
    return prompt;
}

int64_t NowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

QString Clock(int64_t ms)
{
    return ms ? QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("HH:mm:ss")) : QString();
}

QString BoardText(const RemoteBoard &b)
{
    return QStringLiteral("card %1 %2").arg(b.card).arg(b.info ? b.info->name : QString());
}

QString BoardStatusText(const RemoteBoard &b)
{
    if (b.status == PlantUpdate::Offline)
        return b.reason.isEmpty() ? QStringLiteral("offline")
                                  : QStringLiteral("offline: %1").arg(b.reason);
    return b.status == PlantUpdate::Online ? QStringLiteral("online") : QString();
}

QString AgentStatusText(const PlantAgent &a)
{
    if (a.status == PlantUpdate::Offline)
        return QStringLiteral("offline since %1").arg(Clock(a.offlineSinceMs));
    return a.status == PlantUpdate::Online ? QStringLiteral("online") : QStringLiteral("unknown");
}

QString BoardsText(const PlantAgent &a)
{
    const std::vector<const RemoteBoard *> boards = a.ListedBoards();
    int away = 0;
    for (const RemoteBoard *b : boards)
        away += !b->available();
    QString text = QString::number(boards.size());
    if (away)
        text += QStringLiteral(" (%1 offline)").arg(away);
    if (!a.infoProblem.isEmpty())
        text += QStringLiteral(" - inventory unreadable: %1").arg(a.infoProblem);
    return text;
}

void SetRowColour(QTreeWidgetItem *item, bool grey)
{
    const QBrush brush = grey ? QBrush(Qt::gray) : QBrush();
    for (int c = 0; c < CVL_PlantWnd::kColumns; ++c)
        if (c != CVL_PlantWnd::kWatchdog || grey)
            item->setForeground(c, brush);
}

} // namespace

void CVL_PlantWnd::SetPasswordPrompt(PasswordPrompt prompt)
{
    static const PasswordPrompt original = Prompt();
    Prompt() = prompt ? std::move(prompt) : original;
}

CVL_PlantWnd::CVL_PlantWnd(const QString &settingsPath, QWidget *parent)
    : QWidget(parent)
    , m_settings(BrokerSettings::Read(settingsPath))
{
    setWindowTitle(QStringLiteral("Plant"));
    setWindowIcon(Resources::Icon(IDI_DIGITAL_IO));
    m_filter = new QLineEdit(this);
    m_filter->setObjectName(QStringLiteral("Filter"));
    m_filter->setPlaceholderText(QStringLiteral("Filter"));
    m_filter->setClearButtonEnabled(true);
    connect(m_filter, &QLineEdit::textChanged, this, &CVL_PlantWnd::ApplyFilter);

    CreateList();
    CreateBanner();
    m_panel = new CBoardPanel(this);
    m_panel->onSwitch = [this](int point) {
        RequestSwitch(point);
    };
    auto *scroll = new QScrollArea(this);
    scroll->setWidget(m_panel);
    scroll->setWidgetResizable(true);

    auto *split = new QSplitter(Qt::Vertical, this);
    split->addWidget(m_list);
    split->addWidget(scroll);
    split->setSizes({200, 400});
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("StatusLine"));
    m_status->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_filter);
    layout->addWidget(split, 1);
    layout->addWidget(m_banner);
    layout->addWidget(m_status);

    StartConnecting();
}

void CVL_PlantWnd::CreateList()
{
    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("Agents"));
    m_list->setColumnCount(kColumns);
    m_list->setHeaderLabels({QStringLiteral("Host"), QStringLiteral("Status"),
                             QStringLiteral("Simulated"), QStringLiteral("Boards"),
                             QStringLiteral("Watchdog"), QStringLiteral("Last message"),
                             QStringLiteral("Topic")});
    m_list->setSortingEnabled(true);
    m_list->sortByColumn(kHost, Qt::AscendingOrder);
    m_list->setUniformRowHeights(true);
    const int widths[kColumns] = {170, 150, 75, 100, 70, 85, 120};
    for (int c = 0; c < kColumns; ++c)
        m_list->setColumnWidth(c, widths[c]);
    m_listTimer.setSingleShot(true);
    connect(&m_listTimer, &QTimer::timeout, this, &CVL_PlantWnd::RefreshList);
    connect(m_list, &QTreeWidget::itemSelectionChanged, this, &CVL_PlantWnd::OnSelection);
}

void CVL_PlantWnd::CreateBanner()
{
    m_banner = new QWidget(this);
    m_banner->setObjectName(QStringLiteral("WatchdogBanner"));
    m_banner->setAutoFillBackground(true);
    QPalette colours = m_banner->palette();
    colours.setColor(QPalette::Window, QColor(255, 210, 210));
    m_banner->setPalette(colours);
    auto *bannerRow = new QHBoxLayout(m_banner);
    m_bannerText = new QLabel(m_banner);
    m_clear = new QPushButton(QStringLiteral("Clear"), m_banner);
    m_clear->setObjectName(QStringLiteral("ClearWatchdog"));
    connect(m_clear, &QPushButton::clicked, this, &CVL_PlantWnd::RequestWatchdogClear);
    bannerRow->addWidget(m_bannerText, 1);
    bannerRow->addWidget(m_clear);
    m_banner->hide();
}

// Connects when the broker is set up, with the password from the secret store or asked for.
void CVL_PlantWnd::StartConnecting()
{
    const QString problem = m_settings.Problem();
    if (!problem.isEmpty()) {
        m_status->setText(problem);
        return;
    }
    if (m_settings.user.isEmpty()) {
        Connect(m_settings, QByteArray());
        return;
    }
    m_status->setText(QStringLiteral("Reading the broker's password from the secret store..."));
    PasswordStore::Read(
        m_settings.PasswordKey(), this,
        [this](std::optional<QByteArray> password, const QString &why) {
            if (!password)
                password = Prompt()(
                    this,
                    QStringLiteral("Password of %1 (%2):").arg(m_settings.PasswordKey(), why));
            if (password)
                Connect(m_settings, *password);
            else
                m_status->setText(QStringLiteral("Not connected: no password."));
        });
}

CVL_PlantWnd::~CVL_PlantWnd()
{
    // The feed ends its session first: no answer reaches a window that is gone.
    m_feed.reset();
}

void CVL_PlantWnd::Connect(const BrokerSettings &settings, const QByteArray &password)
{
    m_feed = std::make_unique<PlantFeed>(settings, password);
    connect(m_feed.get(), &PlantFeed::updatesReady, this, &CVL_PlantWnd::OnUpdatesReady);
    connect(m_feed.get(), &PlantFeed::connectionChanged, this, &CVL_PlantWnd::OnConnectionChanged);
    QString error;
    if (!m_feed->Start(&error)) {
        m_status->setText(QStringLiteral("Not connected: %1").arg(error));
        m_feed.reset();
        return;
    }
    m_status->setText(
        QStringLiteral("Connecting to %1:%2...").arg(settings.host).arg(settings.port));
}

void CVL_PlantWnd::OnConnectionChanged(bool connected, const QString &reason, bool refusal)
{
    m_connected = connected;
    if (connected)
        m_status->setText(
            QStringLiteral("Connected to %1:%2.").arg(m_settings.host).arg(m_settings.port));
    else
        m_status->setText(
            QStringLiteral("Not connected: %1. %2")
                .arg(reason,
                     refusal ? QStringLiteral("Check the Plant Broker settings; trying again.")
                             : QStringLiteral("Trying again.")));
    for (const auto &[prefix, agent] : m_model.agents())
        RefreshAgent(agent);
    RefreshShown();
}

void CVL_PlantWnd::OnUpdatesReady()
{
    if (!m_feed)
        return;
    const std::vector<PlantUpdate> updates = m_feed->Take();
    const int64_t now = NowMs();
    QSet<QString> dirty;
    bool shownDirty = false;
    for (const PlantUpdate &u : updates) {
        const PlantModel::Change change = m_model.Apply(u, now);
        if (!change.agent)
            continue;
        dirty.insert(u.prefix);
        shownDirty = shownDirty || u.prefix == m_shownPrefix;
        if (u.kind == PlantUpdate::SetResult)
            OnSetResult(u);
    }
    // The LEDs follow at once; the list, at most every kListPeriodMs.
    m_dirty.unite(dirty);
    if (!m_dirty.isEmpty() && !m_listTimer.isActive())
        m_listTimer.start(size_t(m_items.size()) < m_model.agents().size() ? 0 : kListPeriodMs);
    if (shownDirty)
        RefreshShown();
    emit batchShown();
}

void CVL_PlantWnd::RefreshList()
{
    m_list->setSortingEnabled(false);
    for (const QString &prefix : std::as_const(m_dirty))
        if (const PlantAgent *agent = m_model.Agent(prefix))
            RefreshAgent(*agent);
    m_dirty.clear();
    m_list->setSortingEnabled(true);
}

void CVL_PlantWnd::RefreshAgent(const PlantAgent &agent)
{
    QTreeWidgetItem *&item = m_items[agent.prefix];
    const bool added = !item;
    if (added) {
        item = new QTreeWidgetItem;
        item->setData(kHost, kPrefixRole, agent.prefix);
    }
    const bool grey = !m_connected || !agent.online();
    item->setText(kHost, agent.host());
    item->setText(kStatus, AgentStatusText(agent));
    item->setText(kSimulated,
                  !agent.info                 ? QString()
                      : agent.info->simulated ? QStringLiteral("simulated")
                                              : QStringLiteral("no"));
    item->setText(kBoards, BoardsText(agent));
    item->setText(kWatchdog, agent.watchdog ? agent.watchdog->state : QString());
    item->setForeground(kWatchdog, agent.tripped() ? QBrush(Qt::red) : QBrush());
    item->setText(kLastMessage, Clock(agent.lastMessageMs));
    item->setText(kTopic, agent.prefix);
    SetRowColour(item, grey);
    RefreshBoardItems(item, agent, grey);
    if (added) {
        m_list->addTopLevelItem(item);
        ApplyFilter();
    }
}

void CVL_PlantWnd::RefreshBoardItems(QTreeWidgetItem *item, const PlantAgent &agent, bool grey)
{
    const std::vector<const RemoteBoard *> boards = agent.ListedBoards();
    while (item->childCount() > int(boards.size()))
        delete item->takeChild(item->childCount() - 1);
    for (size_t i = 0; i < boards.size(); ++i) {
        QTreeWidgetItem *child = item->child(int(i));
        if (!child) {
            child = new QTreeWidgetItem(item);
            child->setData(kHost, kPrefixRole, agent.prefix);
        }
        const RemoteBoard &b = *boards[i];
        child->setData(kHost, kCardRole, b.card);
        child->setText(kHost, BoardText(b));
        child->setText(kStatus, BoardStatusText(b));
        SetRowColour(child, grey || !b.available());
    }
}

void CVL_PlantWnd::ApplyFilter()
{
    const QString text = m_filter->text().trimmed();
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        QTreeWidgetItem *item = m_list->topLevelItem(i);
        bool match = text.isEmpty();
        for (int c = 0; c < kColumns && !match; ++c)
            match = item->text(c).contains(text, Qt::CaseInsensitive);
        for (int k = 0; k < item->childCount() && !match; ++k)
            match = item->child(k)->text(kHost).contains(text, Qt::CaseInsensitive);
        item->setHidden(!match);
    }
}

void CVL_PlantWnd::OnSelection()
{
    const QList<QTreeWidgetItem *> chosen = m_list->selectedItems();
    if (chosen.isEmpty())
        return;
    QTreeWidgetItem *item = chosen.first();
    const QVariant card = item->data(kHost, kCardRole);
    m_shownPrefix = item->data(kHost, kPrefixRole).toString();
    m_shownCard = card.isValid() ? std::optional<int32_t>(card.toInt()) : std::nullopt;
    const PlantAgent *agent = m_model.Agent(m_shownPrefix);
    const auto board =
        agent && m_shownCard ? agent->boards.find(*m_shownCard) : decltype(agent->boards.end()){};
    const RemoteBoard *shown =
        agent && m_shownCard && board != agent->boards.end() ? &board->second : nullptr;
    m_panel->Show(
        shown, shown ? QStringLiteral("%1 - %2").arg(agent->host(), BoardText(*shown)) : QString(),
        m_connected && agent && agent->online());
    for (const Pending &p : m_pending)
        if (p.prefix == m_shownPrefix && m_shownCard == p.card)
            m_panel->SetPending(p.point, true);
    RefreshShown();
}

bool CVL_PlantWnd::ShowBoard(const QString &prefix, int32_t card)
{
    QTreeWidgetItem *item = m_items.value(prefix);
    for (int k = 0; item && k < item->childCount(); ++k)
        if (item->child(k)->data(kHost, kCardRole).toInt() == card) {
            m_list->setCurrentItem(item->child(k));
            return true;
        }
    return false;
}

// The shown board's points and the shown agent's watchdog banner.
void CVL_PlantWnd::RefreshShown()
{
    const PlantAgent *agent = m_model.Agent(m_shownPrefix);
    const bool tripped = agent && agent->tripped();
    m_banner->setVisible(tripped);
    if (tripped) {
        m_bannerText->setText(QStringLiteral("The watchdog of %1 tripped: %2")
                                  .arg(agent->host(), agent->watchdog->reason));
        m_clear->setVisible(agent->watchdog->clearable);
    }
    if (!agent || !m_shownCard)
        return;
    const auto it = agent->boards.find(*m_shownCard);
    if (it != agent->boards.end())
        m_panel->Update(it->second, m_connected && agent->online());
}

void CVL_PlantWnd::RequestSwitch(int point)
{
    const PlantAgent *agent = m_model.Agent(m_shownPrefix);
    if (!agent || !m_shownCard || !m_feed)
        return;
    const RemoteBoard &board = agent->boards.at(*m_shownCard);
    const bool value = !board.Value(PointDir::Out, point);
    const QString name = board.PointName(PointDir::Out, point);
    Pending p{agent->prefix, board.card, point, value,
              QStringLiteral("%1 card %2 output %3%4")
                  .arg(agent->host())
                  .arg(board.card)
                  .arg(point)
                  .arg(name.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(name))};
    if (!AskYesNo(this, QStringLiteral("Switch %1 %2?").arg(p.label, value ? "on" : "off")))
        return;
    const QString id = QStringLiteral("plant-%1-%2").arg(NowMs()).arg(++m_nextId);
    if (!m_feed->Publish(PlantTopics::SetTopic(p.prefix, p.card, point),
                         PlantTopics::SetPayload(value, id))) {
        m_status->setText(QStringLiteral("%1: the request could not be sent.").arg(p.label));
        return;
    }
    m_pending.insert(id, p);
    m_panel->SetPending(point, true);
    m_status->setText(QStringLiteral("%1: switching %2...").arg(p.label, value ? "on" : "off"));
    QTimer::singleShot(kAnswerTimeoutMs, this, [this, id] { OnNoAnswer(id); });
}

void CVL_PlantWnd::OnSetResult(const PlantUpdate &u)
{
    const auto it = m_pending.find(u.result->id);
    if (it == m_pending.end())
        return; // another client's request, or one given up
    const Pending p = it.value();
    m_pending.erase(it);
    if (p.prefix == m_shownPrefix && m_shownCard == p.card)
        m_panel->SetPending(p.point, false);
    if (u.result->ok)
        m_status->setText(QStringLiteral("%1: %2 (read back).")
                              .arg(p.label, u.result->value.value_or(p.value) ? "on" : "off"));
    else
        m_status->setText(QStringLiteral("%1: refused: %2").arg(p.label, u.result->reason));
}

void CVL_PlantWnd::OnNoAnswer(const QString &id)
{
    const auto it = m_pending.find(id);
    if (it == m_pending.end())
        return;
    const Pending p = it.value();
    m_pending.erase(it);
    if (p.prefix == m_shownPrefix && m_shownCard == p.card)
        m_panel->SetPending(p.point, false);
    m_status->setText(QStringLiteral("%1: no answer").arg(p.label));
}

void CVL_PlantWnd::RequestWatchdogClear()
{
    const PlantAgent *agent = m_model.Agent(m_shownPrefix);
    if (!agent || !m_feed || !agent->tripped())
        return;
    if (!AskYesNo(this, QStringLiteral("Clear the tripped watchdog of %1?").arg(agent->host())))
        return;
    const bool sent = m_feed->Publish(PlantTopics::WatchdogClearTopic(agent->prefix), "1");
    m_status->setText(sent ? QStringLiteral("%1: watchdog clear sent.").arg(agent->host())
                           : QStringLiteral("%1: the clear could not be sent.").arg(agent->host()));
}
