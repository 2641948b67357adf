#pragma once
// The "Point Names" dialog: choose a board, name its live inputs and outputs in a table, and
// OK writes the names of every board that was edited into the names file. Names edited for
// several boards are kept while the board is switched; Cancel forgets them all.

#include "config/PointNames.h"

#include "controls/TemplateDialog.h"

#include <QHash>

class CImageButton;
class QComboBox;
class QTableWidget;

class BoardModel;

class CVL_PointNamesDlg : public TemplateDialog
{
    Q_OBJECT

public:
    // `cardNo`: the board shown first (the active board).
    CVL_PointNamesDlg(BoardModel &model, int32_t cardNo, QWidget *parent = nullptr);

    QComboBox *cardList() const { return m_cardList; }
    QTableWidget *table() const { return m_table; }
    int32_t shownCard() const { return m_shownCard; }

    // Saves every edited board; stays open, after telling why, when a name is a number or
    // repeats another of its board, or when a write fails.
    void OnOK();

private:
    BoardModel &m_boardModel;
    void SetUpTable();
    void FillCardList(int32_t cardNo);
    void ShowCard(int position);
    void TakeEdits();
    bool NamesUsable();

    QComboBox *m_cardList = nullptr;
    QTableWidget *m_table = nullptr;
    CImageButton *m_ok = nullptr;
    CImageButton *m_cancel = nullptr;
    int32_t m_shownCard = -1;
    QHash<int32_t, CardNames> m_edits; // per card number: the names as edited
};
