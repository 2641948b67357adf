#pragma once
// The "Plant Broker" dialog (Setup > Plant Broker...): the broker the Plant window connects to
// (host, port, TLS with its CA file and an optional client certificate and key, user name,
// topic root), kept in the [PlantBroker] section of the settings file, and the password, kept
// in the desktop's secret store, never in a file. "Test" connects once and says what happened.

#include "plant/BrokerSettings.h"

#include <QDialog>

#include <memory>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class MqttSession;

class CVL_PlantBrokerDlg : public QDialog
{
    Q_OBJECT

public:
    CVL_PlantBrokerDlg(const QString &settingsPath, QWidget *parent = nullptr);
    ~CVL_PlantBrokerDlg() override;

    BrokerSettings settings() const; // as the fields say
    QLabel *resultLine() const { return m_result; }
    QLineEdit *field(const QString &name) const;

    // Checks the fields, writes the settings and the password (when one was typed), then closes;
    // stays open after saying what could not be done.
    void OnOK();
    // Connects once with the fields' settings and says what happened in the result line.
    void OnTest();

private:
    void Build();
    void Fill(const BrokerSettings &s);
    void TestWith(const BrokerSettings &s, const QByteArray &password);
    void EndTest(const QString &text);
    void SetBusy(bool busy);

    QString m_settingsPath;
    QLineEdit *m_host = nullptr;
    QSpinBox *m_port = nullptr;
    QCheckBox *m_tls = nullptr;
    QLineEdit *m_caFile = nullptr;
    QLineEdit *m_certFile = nullptr;
    QLineEdit *m_keyFile = nullptr;
    QLineEdit *m_user = nullptr;
    QLineEdit *m_password = nullptr;
    QLineEdit *m_root = nullptr;
    QLabel *m_result = nullptr;
    QPushButton *m_testButton = nullptr;
    QPushButton *m_okButton = nullptr;
    std::unique_ptr<MqttSession> m_test;
};
