#include "system/LogLevDlg.h"

#include "controls/ImageButton.h"
#include "device/DeviceTable.h"
#include "model/BoardModel.h"
#include "platform/FolderPicker.h"
#include "platform/MessageBox.h"
#include "platform/Messages.h"
#include "platform/SplitPath.h"
#include "res/ResourceIds.h"

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>

#include <cstring>

namespace {

// Each label is the buddy of the control beside it; the fields are read by the label's words
// without the colon.
const ControlTemplate kTemplate[] = {
    {nullptr, ControlKind::Frame, nullptr, 7, 7, 279, 62},
    {nullptr, ControlKind::Label, "Log File Name : ", 14, 17, 66, 8, kStyleBuddyOfNext},
    {"LogFileName", ControlKind::LineEdit, "Log File Name", 82, 14, 196, 13},
    {nullptr, ControlKind::Label, "Log File Path : ", 14, 34, 66, 8, kStyleBuddyOfNext},
    {"LogFilePath", ControlKind::LineEdit, "Log File Path", 82, 31, 176, 13, kStyleReadOnly},
    {"Browse", ControlKind::PushButton, "...", 261, 31, 17, 13, kStyleNoAutoDefault},
    {nullptr, ControlKind::Label, "Select Log Level : ", 14, 51, 66, 8, kStyleBuddyOfNext},
    {"LogLevel", ControlKind::ComboBox, nullptr, 82, 48, 196, 13},
    {"OK", ControlKind::ImageButton, "OK", 178, 76, 50, 16, kStyleDefault, IDI_OK},
    {"Cancel", ControlKind::ImageButton, "Cancel", 236, 76, 50, 16, 0, IDI_CANCEL},
};

} // namespace

CVL_LogLevDlg::CVL_LogLevDlg(BoardModel &model, QWidget *parent)
    : TemplateDialog(QStringLiteral("Log Level Setup"), QSize(293, 99), parent)
    , m_model(model)
{
    const TemplateControls controls = Build(kTemplate);
    m_nameEdit = controls.get<QLineEdit>("LogFileName");
    m_pathEdit = controls.get<QLineEdit>("LogFilePath");
    m_browse = controls.get<QPushButton>("Browse");
    m_levelList = controls.get<QComboBox>("LogLevel");
    m_ok = controls.get<CImageButton>("OK");
    m_cancel = controls.get<CImageButton>("Cancel");
    m_levelList->addItems(LevelTexts());

    connect(m_browse, &QPushButton::clicked, this, &CVL_LogLevDlg::OnPickFolder);
    connect(m_ok, &QPushButton::clicked, this, &CVL_LogLevDlg::OnOK);
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
    levelIndex = m_levelList->currentIndex();
    m_model.SetLogSettings(levelIndex, ansi);
    Dev().DXS_devDLogSetFile(m_model.record().logFilePath);
    Dev().DXS_devDLogSetLevel(levelIndex);
    SendWindowMessage(MainWindow(), UM_PARAM_CHANGED, 0);
    accept();
}
