#pragma once
// The Save Parameter dialog: writes the parameters the device library holds for one board, or
// for every board, into the board's parameter file, and clears the board's changed flag so
// that the exit questions no longer offer it. Save leaves the dialog open; Close ends it.
// A save the library refuses is reported, and that board keeps its flag.

#include "controls/TemplateDialog.h"

#include <cstdint>

class BoardModel;
class CImageButton;
class QCheckBox;
class QComboBox;

class CVL_SavePrmDlg : public TemplateDialog
{
    Q_OBJECT

public:
    // `cardNo`: the board preset in the Card No. list (the active board).
    CVL_SavePrmDlg(BoardModel &model, int32_t cardNo, QWidget *parent = nullptr);

    // DXS_devConParamSave for one board; a negative status is reported ("Fail! Save Parameter
    // File...", naming the card and the status) and answers false.
    static bool SaveCard(QWidget *parent, int32_t cardNo);

    void OnAllCardsClicked();
    void OnSave();

    int32_t typeList[5] = {};
    int32_t selectedType = 0;
    int32_t typeCount = 0;
    int32_t cardNo = 0;

    QCheckBox *allCardsCheck() const { return m_allCards; }
    QComboBox *cardTypeList() const { return m_typeList; }
    QComboBox *cardNoList() const { return m_cardList; }
    CImageButton *saveButton() const { return m_save; }
    CImageButton *closeButton() const { return m_close; }

private:
    BoardModel &m_model;
    QCheckBox *m_allCards = nullptr;
    QComboBox *m_typeList = nullptr;
    QComboBox *m_cardList = nullptr;
    CImageButton *m_save = nullptr;
    CImageButton *m_close = nullptr;
};
