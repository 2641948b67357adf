#pragma once
// The plant link as a part of the agent: it reads the [Mqtt] section, hands the PlantLink the
// boards the agent records, their values on every (re)connect and every recorded change (named
// from the names file the agent reads), and switches the outputs that set messages ask for,
// only with AllowWrite=1 and the point listed. No [Mqtt] section: no link, no network. A
// reload restarts the link only when its section or the boards changed, once when both did;
// a bad section leaves the running link as it is. The link in force goes without waiting.
// The link never stops the recording: a broker that is away or refuses the login is its own
// business.

#include "AgentComponent.h"
#include "PlantLink.h"

#include <QObject>

#include <map>
#include <memory>
#include <optional>

class MqttComponent : public QObject, public AgentComponent
{
    Q_OBJECT

public:
    MqttComponent();
    ~MqttComponent() override;

    QString section() const override { return QStringLiteral("Mqtt"); }
    bool Configure(const QList<ConfigEntry> &entries, const QString &file, int sectionLine,
                   QString *error) override;
    bool SetBoards(const BoardModel &model, const std::vector<BoardInfo> &boards, int intervalMs,
                   QString *error) override;
    void FullState(const std::vector<HistoryChange> &state) override;
    void Changes(const std::vector<HistoryChange> &changes) override;
    void Stop() override;

private:
    struct Section
    {
        QList<ConfigEntry> entries;
        QString file;
        int line = 0; // 0: the file has no [Mqtt] section
    };
    // The section checked against `boards` (without them: every key but WritablePoints=).
    // True with `config` empty when there is no section.
    static bool Check(const Section &section, const std::vector<PlantBoard> *boards,
                      std::optional<MqttConfig> *config, QString *error);
    void Restart();
    void Switch(int32_t card, int point, bool value);
    std::vector<PointState> States() const;
    QString Name(int32_t card, PointDir dir, int point) const;

    Section m_section; // in force
    std::optional<MqttConfig> m_config; // m_section checked against m_boards
    const BoardModel *m_model = nullptr; // set with the boards
    std::vector<PlantBoard> m_boards;
    int m_intervalMs = 10;
    std::map<uint64_t, HistoryChange> m_values; // every recorded point's value, by its key
    bool m_haveState = false;
    bool m_restartDue = false;
    std::unique_ptr<PlantLink> m_link;
    QSet<QString> m_published; // the retained topics of the link in force
};
