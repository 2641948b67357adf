#pragma once
// The System Reset dialog: resets one board after a question, then tells the monitoring
// windows so that the Digital IO window sets itself up again. Reset leaves the dialog open;
// Close ends it.

#include "controls/TemplateDialog.h"

#include <cstdint>

class BoardModel;
class CImageButton;
class QComboBox;

class CVL_SysRstDlg : public TemplateDialog
{
    Q_OBJECT

public:
    // `cardNo`: the board preset in the Card No. list (the active board).
    CVL_SysRstDlg(const BoardModel &model, int32_t cardNo, QWidget *parent = nullptr);

    void OnReset();

    int32_t typeList[5] = {};
    int32_t selectedType = 0;
    int32_t cardNo = 0;

    QComboBox *cardTypeList() const { return m_typeList; }
    QComboBox *cardNoList() const { return m_cardList; }
    CImageButton *resetButton() const { return m_reset; }
    CImageButton *closeButton() const { return m_close; }

private:
    const BoardModel &m_model;
    int m_typeCount = 0;
    QComboBox *m_typeList = nullptr;
    QComboBox *m_cardList = nullptr;
    CImageButton *m_reset = nullptr;
    CImageButton *m_close = nullptr;
};
