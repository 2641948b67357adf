#pragma once
// The About dialog: the program icon, the version line and OK.

#include "controls/TemplateDialog.h"

class CAboutDlg : public TemplateDialog
{
    Q_OBJECT

public:
    explicit CAboutDlg(QWidget *parent = nullptr);

private:
    void AddProgramIcon();
};
