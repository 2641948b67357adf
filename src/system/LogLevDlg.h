#pragma once
// The Log Level Setup dialog: the device library's diagnostic log file (folder and name; the
// extension is always ".dbg") and level. OK hands both to the library, keeps them in the
// system record and marks card 0's parameters as changed; Cancel changes nothing.

#include "controls/TemplateDialog.h"

#include <cstdint>

class CImageButton;
class QComboBox;
class QLineEdit;
class QPushButton;

class BoardModel;

class CVL_LogLevDlg : public TemplateDialog
{
    Q_OBJECT

public:
    explicit CVL_LogLevDlg(BoardModel &model, QWidget *parent = nullptr);

    // The level list's entries; the index is the level.
    static QStringList LevelTexts();

    void OnFileNameChanged();
    void OnPickFolder();
    void OnOK();

    int32_t levelIndex = 0;
    QString logFolder; // ends in a separator (or is empty)
    QString logFullPath; // logFolder followed by logFileName
    QString logFileName; // without folder and extension

    QLineEdit *fileNameEdit() const { return m_nameEdit; }
    QLineEdit *filePathEdit() const { return m_pathEdit; }
    QPushButton *browseButton() const { return m_browse; }
    QComboBox *levelList() const { return m_levelList; }
    CImageButton *okButton() const { return m_ok; }
    CImageButton *cancelButton() const { return m_cancel; }

private:
    BoardModel &m_model;
    void OnInitDialog();
    void ShowFullPath();

    QLineEdit *m_nameEdit = nullptr;
    QLineEdit *m_pathEdit = nullptr;
    QPushButton *m_browse = nullptr;
    QComboBox *m_levelList = nullptr;
    CImageButton *m_ok = nullptr;
    CImageButton *m_cancel = nullptr;
};
