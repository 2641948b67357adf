#include "diag/PointNamesDlg.h"

#include "controls/ImageButton.h"
#include "device/CardCatalogue.h"
#include "device/SystemInfo.h"
#include "diag/ChangeRecorder.h"
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

} // namespace

CVL_PointNamesDlg::CVL_PointNamesDlg(int32_t cardNo, QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Point Names"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::MSWindowsFixedSizeDialogHint |
                   Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFont(TemplateFont());
    const DialogUnits du(font());
    setFixedSize(du.size(240, 250));

    auto *label = new QLabel(QStringLiteral("Card No."), this);
    label->setGeometry(du.rect(7, 9, 40, 8));
    m_cardList = new QComboBox(this);
    m_cardList->setObjectName(QStringLiteral("CardList"));
    m_cardList->setGeometry(du.rect(50, 7, 183, 13));
    label->setBuddy(m_cardList);

    m_table = new QTableWidget(0, 2, this);
    m_table->setObjectName(QStringLiteral("Names"));
    m_table->setGeometry(du.rect(7, 26, 226, 194));
    m_table->setHorizontalHeaderLabels({QStringLiteral("Point"), QStringLiteral("Name")});
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
    m_table->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    m_table->setColumnWidth(0, du.x(60));
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::AllEditTriggers);

    m_ok = new CImageButton(QStringLiteral("OK"), this);
    m_ok->setGeometry(du.rect(125, 227, 50, 16));
    m_ok->setDefault(true);
    m_ok->LoadButtonIcons(IDI_OK, 20, 16, 0, 0, 0);
    m_ok->SetFlatLook(false, true);
    connect(m_ok, &QPushButton::clicked, this, &CVL_PointNamesDlg::OnOK);
    m_cancel = new CImageButton(QStringLiteral("Cancel"), this);
    m_cancel->setGeometry(du.rect(183, 227, 50, 16));
    m_cancel->LoadButtonIcons(IDI_CANCEL, 20, 16, 0, 0, 0);
    m_cancel->SetFlatLook(false, true);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);

    const int boards = IsDigitalIoActive() ? g_pSysInfo->cardMap->boardSlots() : 0;
    for (int i = 0; i < boards; ++i)
        m_cardList->addItem(
            CardLabel(g_pSysInfo->cardMap->cardNo(i), g_pSysInfo->boardTable->boardName[i]));
    const int first = std::max(0, CardIndexOf(cardNo));
    m_cardList->setCurrentIndex(boards > 0 ? first : -1);
    ShowCard(m_cardList->currentIndex());
    connect(m_cardList, &QComboBox::currentIndexChanged, this, &CVL_PointNamesDlg::ShowCard);
}

void CVL_PointNamesDlg::TakeEdits()
{
    if (m_shownCard < 0)
        return;
    auto it = m_edits.find(m_shownCard);
    if (it == m_edits.end())
        it = m_edits.insert(m_shownCard, PointNames::Instance().Card(m_shownCard));
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
    if (position < 0 || position >= g_pSysInfo->cardMap->boardSlots())
        return;
    const CardMap *map = g_pSysInfo->cardMap;
    m_shownCard = map->cardNo(position);
    const CardNames names = m_edits.value(m_shownCard, PointNames::Instance().Card(m_shownCard));
    for (PointDir dir : {PointDir::In, PointDir::Out}) {
        const int32_t count = dir == PointDir::In ? map->diCount(position) : map->doCount(position);
        for (int bit : LiveBits(dir, count)) {
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

void CVL_PointNamesDlg::OnOK()
{
    TakeEdits();
    PointNames &store = PointNames::Instance();
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
