#pragma once
// The System Environment Setup dialog: the controller loading mode that the next start passes
// to the system load. It changes only the settings file; the running program keeps its mode.

#include "controls/TemplateDialog.h"

#include <cstdint>

class BoardModel;
class CImageButton;
class QComboBox;

class CVL_SysCfgDlg : public TemplateDialog
{
    Q_OBJECT

public:
    explicit CVL_SysCfgDlg(const BoardModel &model, QWidget *parent = nullptr);

    void OnOK();

    // The mode read from the settings file; 1 when the file holds none.
    int32_t loadingMode = 1;

    QComboBox *loadingModeList() const { return m_modeList; }
    CImageButton *okButton() const { return m_ok; }
    CImageButton *cancelButton() const { return m_cancel; }

private:
    void OnInitDialog();
    QString SettingsPath() const;

    const BoardModel &m_model;

    QComboBox *m_modeList = nullptr;
    CImageButton *m_ok = nullptr;
    CImageButton *m_cancel = nullptr;
};
