#pragma once
// The Plant window (kind 103): every agent publishing under the broker's topic root, listed by
// host with its status, simulated boards, boards and their availability, watchdog and the time
// of its last message; an agent gone offline stays, greyed, with the time the window saw it
// go. Choosing a board shows its inputs and outputs as LEDs named from the agent's inventory,
// updated live; outputs the agent lets the network switch are buttons that ask first, send
// the set request and show its answer in the status line ("no answer" after 5 s). The network
// is a PlantFeed made when the window opens and ended when it closes.

#include "plant/BrokerSettings.h"
#include "plant/PlantModel.h"

#include <QHash>
#include <QSet>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class CBoardPanel;
class PlantFeed;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

class CVL_PlantWnd : public QWidget
{
    Q_OBJECT

public:
    // Asks for the broker's password (nothing when the user cancels); tests script it.
    using PasswordPrompt =
        std::function<std::optional<QByteArray>(QWidget *parent, const QString &text)>;
    static void SetPasswordPrompt(PasswordPrompt prompt);

    // Connects with the broker settings of the settings file at `settingsPath`.
    explicit CVL_PlantWnd(const QString &settingsPath, QWidget *parent = nullptr);
    ~CVL_PlantWnd() override;

    enum Column { kHost, kStatus, kSimulated, kBoards, kWatchdog, kLastMessage, kTopic, kColumns };

    const PlantModel &model() const { return m_model; }
    QTreeWidget *agentList() const { return m_list; }
    CBoardPanel *boardPanel() const { return m_panel; }
    QLabel *statusLine() const { return m_status; }
    QWidget *banner() const { return m_banner; }
    QLineEdit *filter() const { return m_filter; }
    bool connected() const { return m_connected; }

    // Shows the board `card` of the agent at `prefix` (false when the list has no such board).
    bool ShowBoard(const QString &prefix, int32_t card);
    // Asks, then sends the set request of an output of the shown board.
    void RequestSwitch(int point);
    // Asks, then sends the watchdog clear of the shown agent.
    void RequestWatchdogClear();

signals:
    // The updates of a batch are applied and shown.
    void batchShown();

private:
    void CreateList();
    void CreateBanner();
    void StartConnecting();
    void Connect(const BrokerSettings &settings, const QByteArray &password);
    void OnUpdatesReady();
    void OnConnectionChanged(bool connected, const QString &reason, bool refusal);
    void OnSetResult(const PlantUpdate &update);
    void OnNoAnswer(const QString &id);
    void RefreshList();
    void RefreshAgent(const PlantAgent &agent);
    void RefreshBoardItems(QTreeWidgetItem *item, const PlantAgent &agent, bool grey);
    void RefreshShown();
    void ApplyFilter();
    void OnSelection();

    struct Pending
    {
        QString prefix;
        int32_t card = 0;
        int point = 0;
        bool value = false;
        QString label; // "pc1 card 5 output 3 (Lamp)"
    };

    BrokerSettings m_settings;
    PlantModel m_model;
    std::unique_ptr<PlantFeed> m_feed;
    bool m_connected = false;
    QLineEdit *m_filter = nullptr;
    QTreeWidget *m_list = nullptr;
    QWidget *m_banner = nullptr;
    QLabel *m_bannerText = nullptr;
    QPushButton *m_clear = nullptr;
    CBoardPanel *m_panel = nullptr;
    QLabel *m_status = nullptr;
    QHash<QString, QTreeWidgetItem *> m_items; // by prefix
    QSet<QString> m_dirty; // agents whose line waits for the list's next refresh
    QTimer m_listTimer;
    QString m_shownPrefix;
    std::optional<int32_t> m_shownCard;
    QHash<QString, Pending> m_pending; // set requests by id
    int m_nextId = 0;
};
