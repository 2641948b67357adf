#include "diag/PointNamesDlg.h"

#include "controls/ImageButton.h"
#include "device/CardCatalogue.h"
#include "diag/ChangeRecorder.h"
#include "model/BoardModel.h"
#include "platform/DialogUnits.h"
#include "platform/MessageBox.h"
#include "res/ResourceIds.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>

namespace {

// Rows of the table carry their direction and point.
constexpr int kDirRole = Qt::UserRole;
constexpr int kPointRole = Qt::UserRole + 1;

const ControlTemplate kTemplate[] = {
    {nullptr, ControlKind::Label, "Card No.", 7, 9, 40, 8, kStyleBuddyOfNext},
    {"CardList", ControlKind::ComboBox, nullptr, 50, 7, 183, 13},
    {"Names", ControlKind::Table, nullptr, 7, 26, 226, 194},
    {"OK", ControlKind::ImageButton, "OK", 125, 227, 50, 16, kStyleDefault, IDI_OK},
    {"Cancel", ControlKind::ImageButton, "Cancel", 183, 227, 50, 16, 0, IDI_CANCEL},
};

} // namespace

CVL_PointNamesDlg::CVL_PointNamesDlg(BoardModel &model, int32_t cardNo, QWidget *parent)
    : TemplateDialog(QStringLiteral("Point Names"), QSize(240, 250), parent)
    , m_boardModel(model)
{
    const TemplateControls controls = Build(kTemplate);
    m_cardList = controls.get<QComboBox>("CardList");
    m_table = controls.get<QTableWidget>("Names");
    m_ok = controls.get<CImageButton>("OK");
    m_cancel = controls.get<CImageButton>("Cancel");
    SetUpTable();

    connect(m_ok, &QPushButton::clicked, this, &CVL_PointNamesDlg::OnOK);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);

    FillCardList(cardNo);
    ShowCard(m_cardList->currentIndex());
    connect(m_cardList, &QComboBox::currentIndexChanged, this, &CVL_PointNamesDlg::ShowCard);
}

void CVL_PointNamesDlg::SetUpTable()
{
    m_table->setColumnCount(2);
    m_table->setHorizontalHeaderLabels({QStringLiteral("Point"), QStringLiteral("Name")});
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
    m_table->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    m_table->setColumnWidth(0, DialogUnits(font()).x(60));
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::AllEditTriggers);
}

// Every board of the card map, the given one chosen (the first when it is not there).
void CVL_PointNamesDlg::FillCardList(int32_t cardNo)
{
    const int boards = m_boardModel.IsDigitalIoActive() ? m_boardModel.boardSlots() : 0;
    for (int i = 0; i < boards; ++i)
        m_cardList->addItem(m_boardModel.CardLabelAt(i));
    const int first = std::max(0, m_boardModel.CardIndexOf(cardNo));
    m_cardList->setCurrentIndex(boards > 0 ? first : -1);
}

void CVL_PointNamesDlg::TakeEdits()
{
    if (m_shownCard < 0)
        return;
    auto it = m_edits.find(m_shownCard);
    if (it == m_edits.end())
        it = m_edits.insert(m_shownCard, m_boardModel.names().Card(m_shownCard));
    for (int row = 0; row < m_table->rowCount(); ++row) {
        const QTableWidgetItem *name = m_table->item(row, 1);
        const QTableWidgetItem *point = m_table->item(row, 0);
        if (name && point)
            it->at(PointDir(point->data(kDirRole).toInt()), point->data(kPointRole).toInt()) =
                CleanName(name->text());
    }
}

void CVL_PointNamesDlg::ShowCard(int position)
{
    TakeEdits();
    m_table->setRowCount(0);
    m_shownCard = -1;
    if (position < 0 || position >= m_boardModel.boardSlots())
        return;
    const CardMap *map = &m_boardModel.cardMap();
    m_shownCard = map->cardNo(position);
    const CardNames names = m_edits.value(m_shownCard, m_boardModel.names().Card(m_shownCard));
    for (PointDir dir : {PointDir::In, PointDir::Out}) {
        const BoardInfo &board = m_boardModel.board(position); // counted as every program counts
        for (int bit : LiveBits(dir, dir == PointDir::In ? board.inputs : board.outputs)) {
            const int row = m_table->rowCount();
            m_table->insertRow(row);
            auto *point = new QTableWidgetItem(PointLabel(dir, bit));
            point->setFlags(Qt::ItemIsEnabled);
            point->setData(kDirRole, int(dir));
            point->setData(kPointRole, bit);
            m_table->setItem(row, 0, point);
            m_table->setItem(row, 1, new QTableWidgetItem(names.at(dir, bit)));
        }
    }
}

// Names that could never be used are refused before anything is saved; the board that has
// them is shown.
bool CVL_PointNamesDlg::NamesUsable()
{
    for (auto it = m_edits.cbegin(); it != m_edits.cend(); ++it) {
        const QString problem = NamesProblem(it.value());
        if (problem.isEmpty() || m_boardModel.names().Card(it.key()) == it.value())
            continue;
        m_cardList->setCurrentIndex(m_boardModel.CardIndexOf(it.key()));
        ShowFailure(this, QStringLiteral("The point names could not be saved."),
                    QStringLiteral("Card %1: %2").arg(it.key()).arg(problem));
        return false;
    }
    return true;
}

void CVL_PointNamesDlg::OnOK()
{
    TakeEdits();
    if (!NamesUsable())
        return;
    PointNames &store = m_boardModel.names();
    for (auto it = m_edits.cbegin(); it != m_edits.cend(); ++it) {
        if (store.Card(it.key()) == it.value())
            continue;
        QString error;
        if (!store.SaveCard(it.key(), it.value(), &error)) {
            ShowFailure(this, QStringLiteral("The point names could not be saved."),
                        QStringLiteral("%1\n%2").arg(store.path(), error));
            return;
        }
    }
    accept();
}
