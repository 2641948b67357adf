#include "diag/ChgLogWnd.h"

#include "device/CardCatalogue.h"
#include "device/CardMap.h"
#include "diag/ChangeListModel.h"
#include "diag/HistoryLoad.h"
#include "diag/TimelineStrip.h"
#include "history/HistoryReader.h"
#include "model/BoardModel.h"
#include "platform/MessageBox.h"
#include "platform/Resources.h"
#include "res/ResourceIds.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

constexpr int kPollMs = 10;
constexpr int kTimelineHeight = 150;
// The range "Open History..." offers first: the last hour of the recording.
constexpr qint64 kDefaultRangeUs = 3600LL * 1'000'000;
const char *const kTimeFormat = "yyyy-MM-dd HH:mm:ss.zzz";
const char *const kShortTimeFormat = "yyyy-MM-dd HH:mm:ss";

qsizetype g_ringCapacity = ChangeRecorder::kDefaultCapacity;

CVL_ChgLogWnd::SaveFileChooser &Chooser()
{
    static CVL_ChgLogWnd::SaveFileChooser chooser;
    return chooser;
}

QString ChooseSaveFile(QWidget *parent, const QString &caption, const QString &filter)
{
    if (Chooser())
        return Chooser()(parent, caption, filter);
    return QFileDialog::getSaveFileName(parent, caption, QString(), filter);
}

CVL_ChgLogWnd::OpenFileChooser &OpenChooser()
{
    static CVL_ChgLogWnd::OpenFileChooser chooser;
    return chooser;
}

CVL_ChgLogWnd::RangeChooser &RangeChooserInUse()
{
    static CVL_ChgLogWnd::RangeChooser chooser;
    return chooser;
}

QString ChooseHistoryFile(QWidget *parent)
{
    const QString caption = QStringLiteral("Open History");
    // The user's history, else the packaged service's, else the folder of the user's one.
    QString folder = HistoryFile::DefaultPath();
    for (const QString &db : {folder, QStringLiteral("/var/lib/orvane/history.db")})
        if (QFileInfo(db).isFile()) {
            folder = db;
            break;
        }
    if (!QFileInfo(folder).isFile())
        folder = QFileInfo(folder).absoluteDir().exists() ? QFileInfo(folder).absolutePath()
                                                          : QDir::homePath();
    const QString filter = QStringLiteral("History databases (*.db);;All files (*)");
    if (OpenChooser())
        return OpenChooser()(parent, caption, folder, filter);
    return QFileDialog::getOpenFileName(parent, caption, folder, filter);
}

QString LocalText(qint64 us, const char *format = kTimeFormat)
{
    return QDateTime::fromMSecsSinceEpoch(FloorMs(us)).toString(QLatin1String(format));
}

// The range dialog: From and To, to the millisecond, the last hour of the recording at first.
bool AskRange(QWidget *parent, qint64 firstUs, qint64 lastUs, qint64 *sinceUs, qint64 *untilUs)
{
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Open History"));
    auto *form = new QFormLayout(&dialog);
    form->addRow(new QLabel(
        QStringLiteral("Recorded from %1\nto %2").arg(LocalText(firstUs), LocalText(lastUs))));
    auto edit = [&dialog](qint64 us) {
        auto *e = new QDateTimeEdit(QDateTime::fromMSecsSinceEpoch(FloorMs(us)), &dialog);
        e->setDisplayFormat(QLatin1String(kTimeFormat));
        e->setCalendarPopup(true);
        return e;
    };
    QDateTimeEdit *from = edit(std::max(firstUs, lastUs - kDefaultRangeUs));
    QDateTimeEdit *to = edit(lastUs);
    form->addRow(QStringLiteral("&From:"), from);
    form->addRow(QStringLiteral("&To:"), to);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    form->addRow(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    *sinceUs = from->dateTime().toMSecsSinceEpoch() * 1000;
    *untilUs = to->dateTime().toMSecsSinceEpoch() * 1000 + 999; // the whole last millisecond
    return true;
}

bool ChooseRange(QWidget *parent, qint64 firstUs, qint64 lastUs, qint64 *sinceUs, qint64 *untilUs)
{
    const bool chosen = RangeChooserInUse()
        ? RangeChooserInUse()(parent, firstUs, lastUs, sinceUs, untilUs)
        : AskRange(parent, firstUs, lastUs, sinceUs, untilUs);
    if (chosen && *sinceUs > *untilUs)
        std::swap(*sinceUs, *untilUs);
    return chosen;
}

// The board positions the window offers.
int BoardPositions(const BoardModel &boards)
{
    return boards.IsDigitalIoActive() ? boards.boardSlots() : 0;
}

} // namespace

void CVL_ChgLogWnd::SetSaveFileChooser(SaveFileChooser chooser)
{
    Chooser() = std::move(chooser);
}

void CVL_ChgLogWnd::SetOpenFileChooser(OpenFileChooser chooser)
{
    OpenChooser() = std::move(chooser);
}

void CVL_ChgLogWnd::SetRangeChooser(RangeChooser chooser)
{
    RangeChooserInUse() = std::move(chooser);
}

void CVL_ChgLogWnd::SetRingCapacity(qsizetype capacity)
{
    g_ringCapacity = capacity;
}

CVL_ChgLogWnd::CVL_ChgLogWnd(const BoardModel &boards, QWidget *parent)
    : QWidget(parent)
    , m_boardModel(boards)
    , m_recorder(g_ringCapacity)
{
    m_recorder.SetPollIntervalUs(kPollMs * 1000);
    setObjectName(QStringLiteral("ChangeLogView"));
    setWindowTitle(QStringLiteral("Change Log"));
    setWindowIcon(Resources::Icon(IDI_DIGITAL_IO));
    m_model = new ChangeListModel(&m_recorder, &boards.names(), this);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(4);
    layout->addLayout(CreateCommandRow());
    layout->addLayout(CreateExportRow());
    layout->addLayout(CreateLoadRow());
    layout->addLayout(CreateFilterRow());
    layout->addWidget(CreateList(), 1);
    AddTimeline(layout);

    m_timer = new QTimer(this);
    m_timer->setTimerType(Qt::PreciseTimer);
    m_timer->setInterval(kPollMs);
    connect(m_timer, &QTimer::timeout, this, &CVL_ChgLogWnd::OnTimer);
    connect(&boards.names(), &PointNames::changed, this, &CVL_ChgLogWnd::OnNamesChanged);

    FillBoardMenu();
    OnBoardsChosen();
    ShowRecording();
}

CVL_ChgLogWnd::~CVL_ChgLogWnd() = default;

// Boards, Pause, Clear, the history, and on the right the snapshot.
QHBoxLayout *CVL_ChgLogWnd::CreateCommandRow()
{
    auto *commands = new QHBoxLayout;
    auto button = [this, commands](const QString &text, const char *name) {
        auto *b = new QPushButton(text, this);
        b->setObjectName(QLatin1String(name));
        commands->addWidget(b);
        return b;
    };
    m_boards = button(QStringLiteral("Boards"), "Boards");
    m_boardMenu = new QMenu(m_boards);
    m_boards->setMenu(m_boardMenu);
    m_pause = button(QStringLiteral("Pause"), "Pause");
    connect(m_pause, &QPushButton::clicked, this, [this] { SetPaused(!m_paused); });
    m_clear = button(QStringLiteral("Clear"), "Clear");
    connect(m_clear, &QPushButton::clicked, this, &CVL_ChgLogWnd::Clear);
    QPushButton *open = button(QStringLiteral("Open History..."), "OpenHistory");
    connect(open, &QPushButton::clicked, this, &CVL_ChgLogWnd::OnOpenHistory);
    m_live = button(QStringLiteral("Back to Live"), "Live");
    connect(m_live, &QPushButton::clicked, this, &CVL_ChgLogWnd::ShowLive);
    commands->addStretch();
    QPushButton *snapshot = button(QStringLiteral("Copy Snapshot"), "CopySnapshot");
    connect(snapshot, &QPushButton::clicked, this, &CVL_ChgLogWnd::CopySnapshot);
    return commands;
}

// Which recording is shown, and on the right the export choices and the exports.
QHBoxLayout *CVL_ChgLogWnd::CreateExportRow()
{
    auto *commands = new QHBoxLayout;
    m_source = new QLabel(this);
    m_source->setObjectName(QStringLiteral("Source"));
    // A long history line gives way to the exports; its tooltip holds it whole.
    m_source->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    commands->addWidget(m_source, 1);
    m_progressTimer = new QTimer(this);
    m_progressTimer->setInterval(100);
    connect(m_progressTimer, &QTimer::timeout, this, &CVL_ChgLogWnd::ShowLoadProgress);
    m_exportFiltered = new QCheckBox(QStringLiteral("Filtered points only"), this);
    m_exportFiltered->setObjectName(QStringLiteral("ExportFiltered"));
    m_exportFiltered->setToolTip(QStringLiteral("Export only the points the filter shows"));
    m_exportFiltered->setChecked(true);
    m_exportFiltered->setEnabled(false);
    commands->addWidget(m_exportFiltered);
    m_exportChanged = new QCheckBox(QStringLiteral("Changed points only"), this);
    m_exportChanged->setObjectName(QStringLiteral("ExportChanged"));
    m_exportChanged->setToolTip(QStringLiteral("Leave out the points that never changed"));
    commands->addWidget(m_exportChanged);
    auto *csv = new QPushButton(QStringLiteral("Export CSV..."), this);
    csv->setObjectName(QStringLiteral("ExportCsv"));
    connect(csv, &QPushButton::clicked, this, [this] { Export(false); });
    commands->addWidget(csv);
    auto *vcd = new QPushButton(QStringLiteral("Export VCD..."), this);
    vcd->setObjectName(QStringLiteral("ExportVcd"));
    connect(vcd, &QPushButton::clicked, this, [this] { Export(true); });
    commands->addWidget(vcd);
    return commands;
}

// While a history loads: what it does, how far it got, and Cancel; hidden otherwise.
QHBoxLayout *CVL_ChgLogWnd::CreateLoadRow()
{
    auto *row = new QHBoxLayout;
    m_loadLabel = new QLabel(this);
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("HistoryProgress"));
    m_cancelLoad = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancelLoad->setObjectName(QStringLiteral("CancelHistory"));
    connect(m_cancelLoad, &QPushButton::clicked, this, &CVL_ChgLogWnd::CancelHistoryLoad);
    row->addWidget(m_loadLabel);
    row->addWidget(m_progress, 1);
    row->addWidget(m_cancelLoad);
    ShowLoadProgress(); // hidden
    return row;
}

// The card and point filters, and the counts of the changes shown.
QHBoxLayout *CVL_ChgLogWnd::CreateFilterRow()
{
    auto *filter = new QHBoxLayout;
    auto *cardLabel = new QLabel(QStringLiteral("Card:"), this);
    filter->addWidget(cardLabel);
    m_cardFilter = new QComboBox(this);
    m_cardFilter->setObjectName(QStringLiteral("CardFilter"));
    cardLabel->setBuddy(m_cardFilter);
    m_cardFilter->addItem(QStringLiteral("All cards"), -1);
    for (int i = 0; i < BoardPositions(m_boardModel); ++i)
        m_cardFilter->addItem(m_boardModel.CardLabelAt(i), m_boardModel.cardNo(i));
    connect(m_cardFilter, &QComboBox::currentIndexChanged, this, &CVL_ChgLogWnd::OnFilterEdited);
    filter->addWidget(m_cardFilter);
    auto *pointLabel = new QLabel(QStringLiteral("Point:"), this);
    filter->addWidget(pointLabel);
    m_pointFilter = new QLineEdit(this);
    m_pointFilter->setObjectName(QStringLiteral("PointFilter"));
    m_pointFilter->setPlaceholderText(QStringLiteral("in5, out12, 7 or a name"));
    m_pointFilter->setClearButtonEnabled(true);
    pointLabel->setBuddy(m_pointFilter);
    connect(m_pointFilter, &QLineEdit::textChanged, this, &CVL_ChgLogWnd::OnFilterEdited);
    filter->addWidget(m_pointFilter, 1);
    m_counts = new QLabel(this);
    m_counts->setObjectName(QStringLiteral("Counts"));
    filter->addWidget(m_counts);
    return filter;
}

QTableView *CVL_ChgLogWnd::CreateList()
{
    m_list = new QTableView(this);
    m_list->setObjectName(QStringLiteral("Changes"));
    m_list->setModel(m_model);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setWordWrap(false);
    m_list->verticalHeader()->hide();
    m_list->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_list->verticalHeader()->setDefaultSectionSize(m_list->fontMetrics().height() + 4);
    m_list->horizontalHeader()->setStretchLastSection(false);
    const int digit = m_list->fontMetrics().horizontalAdvance(QLatin1Char('0'));
    m_list->setColumnWidth(ChangeListModel::Time, digit * 14);
    m_list->setColumnWidth(ChangeListModel::Card, digit * 6);
    m_list->setColumnWidth(ChangeListModel::Direction, digit * 5);
    m_list->setColumnWidth(ChangeListModel::Point, digit * 6);
    m_list->setColumnWidth(ChangeListModel::Value, digit * 6);
    m_list->horizontalHeader()->setSectionResizeMode(ChangeListModel::Name, QHeaderView::Stretch);
    return m_list;
}

// The zoom row above the timeline strip, and the strip.
void CVL_ChgLogWnd::AddTimeline(QVBoxLayout *layout)
{
    const int digit = m_list->fontMetrics().horizontalAdvance(QLatin1Char('0'));
    auto *zoom = new QHBoxLayout;
    zoom->addWidget(new QLabel(QStringLiteral("Timeline"), this));
    zoom->addStretch();
    auto *out = new QToolButton(this);
    out->setObjectName(QStringLiteral("ZoomOut"));
    out->setText(QStringLiteral("-"));
    out->setToolTip(QStringLiteral("Show a longer time"));
    zoom->addWidget(out);
    m_span = new QLabel(this);
    m_span->setObjectName(QStringLiteral("Span"));
    m_span->setAlignment(Qt::AlignCenter);
    m_span->setMinimumWidth(digit * 6);
    zoom->addWidget(m_span);
    auto *in = new QToolButton(this);
    in->setObjectName(QStringLiteral("ZoomIn"));
    in->setText(QStringLiteral("+"));
    in->setToolTip(QStringLiteral("Show a shorter time"));
    zoom->addWidget(in);
    layout->addLayout(zoom);

    m_timeline = new CTimelineStrip(&m_recorder, m_model, this);
    auto *scroll = new QScrollArea(this);
    scroll->setWidget(m_timeline);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setFixedHeight(kTimelineHeight);
    layout->addWidget(scroll);
    auto showSpan = [this](int seconds) {
        m_span->setText(QStringLiteral("%1 s").arg(seconds));
    };
    showSpan(m_timeline->spanSeconds());
    connect(m_timeline, &CTimelineStrip::spanChanged, this, showSpan);
    connect(in, &QToolButton::clicked, m_timeline, &CTimelineStrip::ZoomIn);
    connect(out, &QToolButton::clicked, m_timeline, &CTimelineStrip::ZoomOut);
}

void CVL_ChgLogWnd::FillBoardMenu()
{
    const int32_t active = m_boardModel.activeCardNo();
    for (int i = 0; i < BoardPositions(m_boardModel); ++i) {
        QAction *board = m_boardMenu->addAction(m_boardModel.CardLabelAt(i));
        const int32_t card = m_boardModel.cardNo(i);
        board->setData(card);
        board->setCheckable(true);
        board->setChecked(card == active && m_boardModel.CardIndexOf(card) == i);
        connect(board, &QAction::toggled, this, &CVL_ChgLogWnd::OnBoardsChosen);
    }
    m_boards->setEnabled(!m_boardMenu->isEmpty());
}

QList<int32_t> CVL_ChgLogWnd::boards() const
{
    QList<int32_t> cards;
    for (const PolledBoard &b : m_recorder.boards())
        cards << b.card;
    return cards;
}

void CVL_ChgLogWnd::SetBoards(const QList<int32_t> &cards)
{
    {
        const QSignalBlocker block(m_boardMenu);
        for (QAction *board : m_boardMenu->actions()) {
            const QSignalBlocker blockAction(board);
            board->setChecked(cards.contains(board->data().toInt()));
        }
    }
    OnBoardsChosen();
}

void CVL_ChgLogWnd::OnBoardsChosen()
{
    QList<PolledBoard> chosen;
    QStringList names;
    const QList<QAction *> actions = m_boardMenu->actions();
    for (int i = 0; i < actions.size() && i < BoardPositions(m_boardModel); ++i) {
        if (!actions[i]->isChecked())
            continue;
        const int32_t card = m_boardModel.cardNo(i);
        // Counted as DXS_devGnGetDioNum reported them, as every program counts (not by the map).
        chosen.append({card, m_boardModel.board(i).inputs, m_boardModel.board(i).outputs});
        names << QString::number(card);
    }
    m_recorder.SetBoards(chosen);
    const QString text = names.isEmpty() ? QStringLiteral("Boards: none")
                                         : QStringLiteral("Boards: %1").arg(names.join(u", "));
    m_boards->setText(text);
    // Room for the menu arrow beside the text.
    m_boards->setMinimumWidth(m_boards->fontMetrics().horizontalAdvance(text) + 36);
    UpdateTimer();
}

void CVL_ChgLogWnd::UpdateTimer()
{
    if (!m_paused && !m_recorder.boards().isEmpty())
        m_timer->start();
    else
        m_timer->stop();
}

void CVL_ChgLogWnd::OnTimer()
{
    const int changes = m_recorder.Poll();
    if (isShowingHistory())
        return; // the live recording goes on unseen
    if (changes == 0) {
        m_timeline->Tick();
        return;
    }
    QScrollBar *bar = m_list->verticalScrollBar();
    const bool follow = bar->value() >= bar->maximum();
    m_model->Sync();
    if (follow)
        m_list->scrollToBottom();
    ShowCounts();
    m_timeline->Tick();
}

void CVL_ChgLogWnd::SetPaused(bool paused)
{
    m_paused = paused;
    m_pause->setText(paused ? QStringLiteral("Resume") : QStringLiteral("Pause"));
    m_timeline->SetPaused(paused || isShowingHistory());
    UpdateTimer();
    ShowCounts();
}

void CVL_ChgLogWnd::Clear()
{
    m_recorder.Clear();
    m_model->Reset();
    m_timeline->Refresh();
    ShowCounts();
}

void CVL_ChgLogWnd::SetFilter(int32_t card, const QString &point)
{
    {
        const QSignalBlocker blockCard(m_cardFilter);
        const QSignalBlocker blockPoint(m_pointFilter);
        m_cardFilter->setCurrentIndex(std::max(0, m_cardFilter->findData(card)));
        m_pointFilter->setText(point);
    }
    OnFilterEdited();
}

void CVL_ChgLogWnd::OnFilterEdited()
{
    ChangeFilter filter;
    filter.card = m_cardFilter->currentData().toInt();
    filter.point = m_pointFilter->text();
    m_model->SetFilter(filter);
    m_exportFiltered->setEnabled(!filter.isEmpty());
    m_list->scrollToBottom();
    m_timeline->Refresh();
    ShowCounts();
}

void CVL_ChgLogWnd::OnNamesChanged()
{
    QScrollBar *bar = m_list->verticalScrollBar();
    const bool follow = bar->value() >= bar->maximum();
    m_model->Reset();
    if (follow)
        m_list->scrollToBottom();
    m_timeline->Refresh();
}

void CVL_ChgLogWnd::ShowCounts()
{
    const ChangeRing &ring = shown().ring();
    QString text = QStringLiteral("%1 changes").arg(ring.size());
    if (!m_model->filter().isEmpty())
        text = QStringLiteral("%1 of %2").arg(m_model->rowCount()).arg(text);
    if (isShowingHistory()) {
        m_counts->setText(text + QStringLiteral(", ") + m_historyRange);
        return;
    }
    text += QStringLiteral(", %1 dropped").arg(m_recorder.dropped());
    if (m_paused)
        text += QStringLiteral(", paused");
    m_counts->setText(text);
}

QString CVL_ChgLogWnd::NameOf(const RecordedPoint &p) const
{
    return m_boardModel.names().Name(p.card, p.dir, p.point);
}

ExportChoice CVL_ChgLogWnd::exportChoice() const
{
    ExportChoice choice;
    choice.changedOnly = m_exportChanged->isChecked();
    if (m_exportFiltered->isChecked() && !m_model->filter().isEmpty())
        choice.includes = [model = m_model](uint32_t point) {
            return model->Shows(point);
        };
    return choice;
}

bool CVL_ChgLogWnd::ExportCsv(const QString &path, QString *error) const
{
    return WriteFileAtomically(
        path,
        [this](QIODevice *out) {
            return WriteCsv(
                out, shown(), [this](const RecordedPoint &p) { return NameOf(p); }, exportChoice());
        },
        error);
}

bool CVL_ChgLogWnd::ExportVcd(const QString &path, QString *error) const
{
    return WriteFileAtomically(
        path,
        [this](QIODevice *out) {
            return WriteVcd(
                out, shown(), [this](const RecordedPoint &p) { return NameOf(p); }, exportChoice());
        },
        error);
}

// The file, then (opened on the loading thread) its range, then the range read there too.
void CVL_ChgLogWnd::OnOpenHistory()
{
    const QString path = ChooseHistoryFile(this);
    if (path.isEmpty() || isLoadingHistory())
        return;
    struct Span
    {
        int64_t first = 0, last = -1;
        QString error;
    };
    auto span = std::make_shared<Span>();
    StartJob(
        QStringLiteral("Opening %1...").arg(QFileInfo(path).fileName()), false,
        [path, span](const std::atomic<bool> &, std::atomic<int> &) {
            HistoryReader reader;
            if (reader.Open(path, &span->error) &&
                reader.Span(&span->first, &span->last, &span->error) && span->last < 0)
                span->error = QStringLiteral("%1 holds no changes yet").arg(path);
        },
        [this, path, span] {
            if (!span->error.isEmpty()) {
                ShowFailure(this, QStringLiteral("The history could not be opened."), span->error);
                return;
            }
            qint64 since = 0, until = 0;
            if (ChooseRange(this, span->first, span->last, &since, &until))
                StartHistoryLoad(path, since, until);
        });
}

void CVL_ChgLogWnd::StartHistoryLoad(const QString &path, qint64 sinceUs, qint64 untilUs)
{
    if (isLoadingHistory())
        return;
    struct Load
    {
        LoadedHistory loaded;
        QString error;
    };
    auto load = std::make_shared<Load>();
    const qsizetype capacity = g_ringCapacity;
    StartJob(
        QStringLiteral("Reading %1...").arg(QFileInfo(path).fileName()), true,
        [=](const std::atomic<bool> &cancel, std::atomic<int> &permille) {
            LoadHistory(path, sinceUs, untilUs, capacity, &load->loaded, &load->error, &cancel,
                        &permille);
        },
        [this, path, sinceUs, load] {
            if (load->loaded.recording)
                ShowHistory(path, sinceUs, std::move(load->loaded));
            else if (!load->error.isEmpty())
                ShowFailure(this, QStringLiteral("The history could not be read."), load->error);
        });
}

// Runs `work` on the loading thread with the progress line shown; `done` follows on this
// thread unless the user cancelled.
void CVL_ChgLogWnd::StartJob(const QString &text, bool measured, HistoryJob::Work work,
                             std::function<void()> done)
{
    m_load = std::make_unique<HistoryJob>(std::move(work));
    connect(m_load.get(), &HistoryJob::finished, this, [this, done = std::move(done)] {
        const bool cancelled = m_load->cancelled();
        m_load.release()->deleteLater(); // it is sending this signal
        ShowLoadProgress();
        if (!cancelled)
            done();
    });
    m_loadText = text;
    m_loadMeasured = measured;
    ShowLoadProgress();
}

void CVL_ChgLogWnd::CancelHistoryLoad()
{
    if (m_load)
        m_load->Cancel();
}

// The progress line: shown while a load runs, with its text, its part done and Cancel.
void CVL_ChgLogWnd::ShowLoadProgress()
{
    const bool loading = isLoadingHistory();
    m_loadLabel->setVisible(loading);
    m_progress->setVisible(loading);
    m_cancelLoad->setVisible(loading);
    m_loadLabel->setText(m_loadText);
    // Opening a database has no measure: the bar is busy until the range is read.
    m_progress->setRange(0, m_loadMeasured ? 1000 : 0);
    m_progress->setValue(loading ? m_load->permille() : 0);
    if (loading)
        m_progressTimer->start();
    else
        m_progressTimer->stop();
}

bool CVL_ChgLogWnd::OpenHistory(const QString &path, qint64 sinceUs, qint64 untilUs, QString *error)
{
    LoadedHistory loaded;
    if (!LoadHistory(path, sinceUs, untilUs, g_ringCapacity, &loaded, error))
        return false;
    ShowHistory(path, sinceUs, std::move(loaded));
    return true;
}

void CVL_ChgLogWnd::ShowHistory(const QString &path, qint64 sinceUs, LoadedHistory loaded)
{
    const qint64 endUs = FloorMs(sinceUs) * 1000 + loaded.recording->lastPollUs();
    m_historyText = QStringLiteral("History: %1").arg(QFileInfo(path).fileName());
    m_historyRange =
        QStringLiteral("%1 to %2")
            .arg(LocalText(sinceUs, kShortTimeFormat), LocalText(endUs, kShortTimeFormat));
    if (loaded.full)
        m_historyRange += QStringLiteral(" (the first %1 changes of the range)")
                              .arg(loaded.recording->ring().size());
    m_historyPath = QFileInfo(path).absoluteFilePath();
    m_history = std::move(loaded.recording);
    ShowRecording();
}

void CVL_ChgLogWnd::ShowLive()
{
    const std::unique_ptr<ChangeRecorder> history = std::move(m_history);
    ShowRecording();
}

// The list, the timeline and the line above the list follow the recording shown.
void CVL_ChgLogWnd::ShowRecording()
{
    const bool history = isShowingHistory();
    m_model->SetRecorder(&shown());
    m_timeline->SetRecorder(&shown());
    m_timeline->SetPaused(history || m_paused);
    m_list->scrollToBottom();
    m_source->setText(history ? m_historyText : QStringLiteral("Live recording"));
    m_source->setToolTip(history ? QStringLiteral("%1\n%2\nShown read-only; the live recording "
                                                  "goes on, \"Back to Live\" shows it.")
                                       .arg(m_historyPath, m_historyRange)
                                 : QString());
    m_live->setVisible(history);
    m_pause->setEnabled(!history);
    m_clear->setEnabled(!history);
    ShowCounts();
}

void CVL_ChgLogWnd::Export(bool vcd)
{
    const QString path = ChooseSaveFile(this, QStringLiteral("Export Change Log"),
                                        vcd ? QStringLiteral("Value Change Dump (*.vcd)")
                                            : QStringLiteral("Comma-separated values (*.csv)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!(vcd ? ExportVcd(path, &error) : ExportCsv(path, &error)))
        ShowFailure(this, QStringLiteral("The change log could not be exported."),
                    QStringLiteral("%1\n%2").arg(QDir::toNativeSeparators(path), error));
}

QString CVL_ChgLogWnd::SnapshotOfBoards() const
{
    QList<BoardSnapshot> snapshots;
    for (const PolledBoard &b : m_recorder.boards()) {
        const int position = m_boardModel.CardIndexOf(b.card);
        if (m_boardModel.IsDigitalIoActive() && position >= 0)
            snapshots << ReadSnapshot(b.card, m_boardModel.CardLabelAt(position), b.inputs,
                                      b.outputs);
    }
    return SnapshotText(snapshots, QDateTime::currentDateTime());
}

void CVL_ChgLogWnd::CopySnapshot()
{
    QApplication::clipboard()->setText(SnapshotOfBoards());
}
