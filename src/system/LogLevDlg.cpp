#include "system/LogLevDlg.h"

#include "device/DeviceTable.h"
#include "platform/DialogUnits.h"
#include "platform/FolderPicker.h"
#include "controls/ImageButton.h"
#include "platform/MessageBox.h"
#include "platform/Messages.h"
#include "res/ResourceIds.h"
#include "platform/SplitPath.h"
#include "device/SystemInfo.h"

#include <QComboBox>
#include <QDir>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <cstring>

CVL_LogLevDlg::CVL_LogLevDlg(QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Log Level Setup"));
    // A modal frame with a system menu: no minimise or maximise box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::MSWindowsFixedSizeDialogHint |
                   Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFont(TemplateFont());
    const DialogUnits du(font());
    setFixedSize(du.size(293, 99));

    auto *frame = new QFrame(this);
    frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    frame->setGeometry(du.rect(7, 7, 279, 62));

    auto label = [&](const char *text, int y) {
        auto *l = new QLabel(QString::fromLatin1(text), this);
        l->setGeometry(du.rect(14, y, 66, 8));
        return l;
    };
    // Each label is the buddy of the control beside it; the fields are read by the label's
    // words without the colon.
    QLabel *nameLabel = label("Log File Name : ", 17);
    m_nameEdit = new QLineEdit(this);
    m_nameEdit->setObjectName(QStringLiteral("LogFileName"));
    m_nameEdit->setGeometry(du.rect(82, 14, 196, 13));
    m_nameEdit->setAccessibleName(QStringLiteral("Log File Name"));
    nameLabel->setBuddy(m_nameEdit);

    QLabel *pathLabel = label("Log File Path : ", 34);
    m_pathEdit = new QLineEdit(this);
    m_pathEdit->setObjectName(QStringLiteral("LogFilePath"));
    m_pathEdit->setGeometry(du.rect(82, 31, 176, 13));
    m_pathEdit->setAccessibleName(QStringLiteral("Log File Path"));
    pathLabel->setBuddy(m_pathEdit);
    m_pathEdit->setReadOnly(true);
    m_browse = new QPushButton(QStringLiteral("..."), this);
    m_browse->setGeometry(du.rect(261, 31, 17, 13));
    m_browse->setAutoDefault(false);
    connect(m_browse, &QPushButton::clicked, this, &CVL_LogLevDlg::OnPickFolder);

    QLabel *levelLabel = label("Select Log Level : ", 51);
    m_levelList = new QComboBox(this);
    m_levelList->setObjectName(QStringLiteral("LogLevel"));
    m_levelList->setGeometry(du.rect(82, 48, 196, 13));
    levelLabel->setBuddy(m_levelList);
    m_levelList->addItems(LevelTexts());

    m_ok = new CImageButton(QStringLiteral("OK"), this);
    m_ok->setGeometry(du.rect(178, 76, 50, 16));
    m_ok->setDefault(true);
    connect(m_ok, &QPushButton::clicked, this, &CVL_LogLevDlg::OnOK);

    m_cancel = new CImageButton(QStringLiteral("Cancel"), this);
    m_cancel->setGeometry(du.rect(236, 76, 50, 16));
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);

    OnInitDialog();
    connect(m_nameEdit, &QLineEdit::textChanged, this, &CVL_LogLevDlg::OnFileNameChanged);
}

QStringList CVL_LogLevDlg::LevelTexts()
{
    return {QStringLiteral("0 : No Use"),
            QStringLiteral("1 : Level 1(Only Errors)"),
            QStringLiteral("2 : Level 2(Only Command Functions)"),
            QStringLiteral("3 : Level 3(All Functions except for Input and DI)"),
            QStringLiteral("4 : Level 4(All Functions except for DI)"),
            QStringLiteral("5 : Level 5(All Functions)")};
}

void CVL_LogLevDlg::OnInitDialog()
{
    Dev().DXS_devDLogGetLevel(&levelIndex);
    // A level outside the list selects nothing.
    m_levelList->setCurrentIndex(levelIndex >= 0 && levelIndex < m_levelList->count() ? levelIndex
                                                                                      : -1);

    char path[kPathBytes] = {};
    Dev().DXS_devDLogGetFile(path);
    path[kPathBytes - 1] = '\0'; // the library may fill the whole buffer
    const SplitPathParts parts = SplitPath(QString::fromLocal8Bit(path));
    logFolder = parts.drive + parts.dir;
    logFileName = parts.fname;
    m_nameEdit->setText(logFileName);
    ShowFullPath();

    m_ok->LoadButtonIcons(IDI_OK, 20, 16, 0, 0, 0);
    m_ok->SetFlatLook(false, true);
    m_cancel->LoadButtonIcons(IDI_CANCEL, 20, 16, 0, 0, 0);
    m_cancel->SetFlatLook(false, true);
}

void CVL_LogLevDlg::ShowFullPath()
{
    logFullPath = logFolder + logFileName;
    m_pathEdit->setText(logFullPath);
    // The end of the path, where the name is typed, stays in view.
    m_pathEdit->end(false);
}

void CVL_LogLevDlg::OnFileNameChanged()
{
    logFileName = m_nameEdit->text();
    ShowFullPath();
}

void CVL_LogLevDlg::OnPickFolder()
{
    const QString folder = PickFolder(this, QStringLiteral("Select Folder"), logFolder);
    if (folder.isEmpty())
        return;
    // A root folder already ends in a separator and gets a second one.
    logFolder = folder + QDir::separator();
    ShowFullPath();
}

void CVL_LogLevDlg::OnOK()
{
    logFileName = m_nameEdit->text();
    const QString fullPath = m_pathEdit->text() + QStringLiteral(".dbg");
    const QByteArray ansi = fullPath.toLocal8Bit();
    // The system record and the library take at most 259 bytes and the terminator.
    if (ansi.size() > kPathBytes - 1) {
        ShowFailure(this, QStringLiteral("Log file path is too long!"));
        return;
    }
    logFullPath = fullPath;
    SystemInfo *info = g_pSysInfo;
    CopyAnsi(info->logFilePath, kPathBytes, ansi.constData());
    levelIndex = m_levelList->currentIndex();
    info->logLevel = levelIndex;
    Dev().DXS_devDLogSetFile(info->logFilePath);
    Dev().DXS_devDLogSetLevel(levelIndex);
    SendWindowMessage(MainWindow(), UM_PARAM_CHANGED, 0);
    accept();
}
