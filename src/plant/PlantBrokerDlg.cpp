#include "plant/PlantBrokerDlg.h"

#include "link/MqttSession.h"
#include "plant/PasswordStore.h"
#include "platform/MessageBox.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>

namespace {

constexpr int kTestTimeoutMs = 10000;

QWidget *FileRow(QLineEdit *edit, QWidget *parent)
{
    auto *row = new QWidget(parent);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(edit);
    auto *browse = new QToolButton(row);
    browse->setText(QStringLiteral("..."));
    QObject::connect(browse, &QToolButton::clicked, edit, [edit] {
        const QString file =
            QFileDialog::getOpenFileName(edit, QStringLiteral("Choose a file"), edit->text());
        if (!file.isEmpty())
            edit->setText(file);
    });
    layout->addWidget(browse);
    return row;
}

} // namespace

CVL_PlantBrokerDlg::CVL_PlantBrokerDlg(const QString &settingsPath, QWidget *parent)
    : QDialog(parent)
    , m_settingsPath(settingsPath)
{
    setWindowTitle(QStringLiteral("Plant Broker"));
    Build();
    Fill(BrokerSettings::Read(settingsPath));
}

CVL_PlantBrokerDlg::~CVL_PlantBrokerDlg() = default;

void CVL_PlantBrokerDlg::Build()
{
    auto *form = new QFormLayout;
    auto edit = [this](const char *name) {
        auto *e = new QLineEdit(this);
        e->setObjectName(QLatin1String(name));
        return e;
    };
    m_host = edit("Host");
    m_port = new QSpinBox(this);
    m_port->setObjectName(QStringLiteral("Port"));
    m_port->setRange(1, 65535);
    m_tls = new QCheckBox(QStringLiteral("Use TLS"), this);
    m_tls->setObjectName(QStringLiteral("Tls"));
    m_caFile = edit("CaFile");
    m_certFile = edit("CertFile");
    m_keyFile = edit("KeyFile");
    m_user = edit("User");
    m_password = edit("Password");
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setPlaceholderText(QStringLiteral("kept in the desktop's secret store"));
    m_root = edit("TopicRoot");
    form->addRow(QStringLiteral("Host:"), m_host);
    form->addRow(QStringLiteral("Port:"), m_port);
    form->addRow(QString(), m_tls);
    form->addRow(QStringLiteral("CA file:"), FileRow(m_caFile, this));
    form->addRow(QStringLiteral("Client certificate:"), FileRow(m_certFile, this));
    form->addRow(QStringLiteral("Client key:"), FileRow(m_keyFile, this));
    form->addRow(QStringLiteral("User name:"), m_user);
    form->addRow(QStringLiteral("Password:"), m_password);
    form->addRow(QStringLiteral("Topic root:"), m_root);
    m_result = new QLabel(this);
    m_result->setObjectName(QStringLiteral("Result"));
    m_result->setWordWrap(true);
    form->addRow(m_result);
    connect(m_tls, &QCheckBox::toggled, this, [this](bool on) {
        for (QLineEdit *e : {m_caFile, m_certFile, m_keyFile})
            e->parentWidget()->setEnabled(on);
        if (on && m_port->value() == 1883)
            m_port->setValue(8883);
        else if (!on && m_port->value() == 8883)
            m_port->setValue(1883);
    });

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_okButton = buttons->button(QDialogButtonBox::Ok);
    m_testButton = buttons->addButton(QStringLiteral("Test"), QDialogButtonBox::ActionRole);
    connect(m_okButton, &QPushButton::clicked, this, &CVL_PlantBrokerDlg::OnOK);
    connect(m_testButton, &QPushButton::clicked, this, &CVL_PlantBrokerDlg::OnTest);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    setMinimumWidth(420);
}

void CVL_PlantBrokerDlg::Fill(const BrokerSettings &s)
{
    m_host->setText(s.host);
    m_port->setValue(s.port);
    m_tls->setChecked(s.tls);
    emit m_tls->toggled(s.tls);
    m_port->setValue(s.port);
    m_caFile->setText(s.caFile);
    m_certFile->setText(s.certFile);
    m_keyFile->setText(s.keyFile);
    m_user->setText(s.user);
    m_root->setText(s.root);
}

QLineEdit *CVL_PlantBrokerDlg::field(const QString &name) const
{
    return findChild<QLineEdit *>(name);
}

BrokerSettings CVL_PlantBrokerDlg::settings() const
{
    BrokerSettings s;
    s.host = m_host->text().trimmed();
    s.port = m_port->value();
    s.tls = m_tls->isChecked();
    s.caFile = m_caFile->text().trimmed();
    s.certFile = m_certFile->text().trimmed();
    s.keyFile = m_keyFile->text().trimmed();
    s.user = m_user->text().trimmed();
    s.root = m_root->text().trimmed();
    return s;
}

void CVL_PlantBrokerDlg::SetBusy(bool busy)
{
    m_okButton->setEnabled(!busy);
    m_testButton->setEnabled(!busy);
}

void CVL_PlantBrokerDlg::OnOK()
{
    const BrokerSettings s = settings();
    const QString problem = s.Problem();
    QString error;
    if (!problem.isEmpty() || !s.Write(m_settingsPath, &error)) {
        ShowFailure(this, problem.isEmpty() ? error : problem);
        return;
    }
    const QByteArray password = m_password->text().toUtf8();
    if (password.isEmpty() || s.user.isEmpty()) {
        accept();
        return;
    }
    SetBusy(true);
    m_result->setText(QStringLiteral("Keeping the password in the secret store..."));
    PasswordStore::Write(s.PasswordKey(), password, this, [this](bool ok, const QString &why) {
        SetBusy(false);
        if (!ok)
            ShowFailure(this,
                        QStringLiteral("The password could not be kept: %1. The Plant window "
                                       "will ask for it at each connect.")
                            .arg(why));
        accept();
    });
}

void CVL_PlantBrokerDlg::OnTest()
{
    const BrokerSettings s = settings();
    const QString problem = s.Problem();
    if (!problem.isEmpty()) {
        m_result->setText(problem);
        return;
    }
    SetBusy(true);
    const QByteArray typed = m_password->text().toUtf8();
    if (s.user.isEmpty() || !typed.isEmpty()) {
        TestWith(s, typed);
        return;
    }
    m_result->setText(QStringLiteral("Reading the password from the secret store..."));
    PasswordStore::Read(s.PasswordKey(), this,
                        [this, s](std::optional<QByteArray> password, const QString &) {
                            TestWith(s, password.value_or(QByteArray()));
                        });
}

void CVL_PlantBrokerDlg::TestWith(const BrokerSettings &s, const QByteArray &password)
{
    MqttConnection c;
    c.host = s.host;
    c.port = s.port;
    c.clientId = QStringLiteral("orvane-plant-test-%1").arg(QCoreApplication::applicationPid());
    c.username = s.user;
    c.password = password;
    if (s.tls) {
        c.caFile = s.caFile;
        c.certFile = s.certFile;
        c.keyFile = s.keyFile;
    }
    m_test = std::make_unique<MqttSession>(c);
    const QString where = QStringLiteral("%1:%2").arg(s.host).arg(s.port);
    connect(m_test.get(), &MqttSession::connected, this,
            [this, where] { EndTest(QStringLiteral("Connected to %1.").arg(where)); });
    connect(m_test.get(), &MqttSession::failed, this, [this](const QString &reason, bool) {
        EndTest(QStringLiteral("Failed: %1.").arg(reason));
    });
    QTimer::singleShot(kTestTimeoutMs, m_test.get(), [this, where] {
        EndTest(QStringLiteral("No answer from %1 within 10 s.").arg(where));
    });
    m_result->setText(QStringLiteral("Connecting to %1...").arg(where));
    QString error;
    if (!m_test->Start(&error))
        EndTest(error);
}

// The first answer of a test ends it; what its session still had queued is ignored.
void CVL_PlantBrokerDlg::EndTest(const QString &text)
{
    if (!m_test)
        return;
    m_result->setText(text);
    SetBusy(false);
    m_test->Stop(1000);
    m_test.release()->deleteLater();
}
