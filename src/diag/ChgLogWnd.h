#pragma once
// The Change Log window (kind 102): while it is open and recording it polls the live inputs
// and outputs of the boards chosen in it (the active board at first) every 10 ms with calls of
// its own, and lists every change with its time, card, direction, point, name and new value.
// A filter narrows the list and the timeline, Pause stops the polling, Clear begins a new
// recording. The list follows the newest change unless the user scrolled away. The recording
// can be exported as CSV or VCD (all points, or those the filter lets through, and optionally
// only those that changed), and "Copy Snapshot" puts the chosen boards' state on the
// clipboard. "Open History..." shows a time range of a history database instead, read-only,
// while the live recording goes on; "Back to Live" returns to it. A line under the commands
// says which of the two is shown.

#include "diag/ChangeExport.h"
#include "diag/ChangeRecorder.h"
#include "diag/HistoryLoad.h"

#include <QWidget>

#include <functional>
#include <memory>

class ChangeListModel;
class CTimelineStrip;
class QCheckBox;
class QComboBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QTableView;
class QTimer;
class QToolButton;
class QVBoxLayout;

class BoardModel;

class CVL_ChgLogWnd : public QWidget
{
    Q_OBJECT

public:
    explicit CVL_ChgLogWnd(const BoardModel &boards, QWidget *parent = nullptr);
    ~CVL_ChgLogWnd() override;

    // One poll (the 10 ms timer): records the changes, then the list and the timeline follow.
    void OnTimer();
    void SetPaused(bool paused);
    bool isPaused() const { return m_paused; }
    void Clear();
    // The boards polled, by card number; only boards of the card map are taken.
    void SetBoards(const QList<int32_t> &cards);
    QList<int32_t> boards() const;
    void SetFilter(int32_t card, const QString &point);

    // Writes the recording to `path`; false (with the reason) when the file could not be
    // written, which leaves any old file as it was.
    bool ExportCsv(const QString &path, QString *error = nullptr) const;
    bool ExportVcd(const QString &path, QString *error = nullptr) const;
    // What the export check boxes choose: the filtered points only (when a filter is set and
    // that box is checked) and the points that changed only.
    ExportChoice exportChoice() const;
    // The text "Copy Snapshot" puts on the clipboard: reads every chosen board.
    QString SnapshotOfBoards() const;
    void CopySnapshot();

    // The file the export buttons ask for: (parent, caption, filter) -> path, empty when the
    // user cancels. Tests put their own chooser in place; empty restores the dialog.
    using SaveFileChooser = std::function<QString(QWidget *, const QString &, const QString &)>;
    static void SetSaveFileChooser(SaveFileChooser chooser);
    // "Open History...": shows the changes of [sinceUs, untilUs] (microseconds since 1970 UTC)
    // of a history database instead of the live recording, which goes on meanwhile. False,
    // with the reason, and nothing changed when the file is missing, no history or unreadable.
    bool OpenHistory(const QString &path, qint64 sinceUs, qint64 untilUs, QString *error = nullptr);
    // The same on the loading thread, while the window goes on (the live recording, the list,
    // the exports): a progress line with Cancel shows meanwhile; a failure is shown to the user
    // when the load ends; a cancelled load changes nothing. Open History... opens the file and
    // reads the range this way. Ignored while a load runs.
    void StartHistoryLoad(const QString &path, qint64 sinceUs, qint64 untilUs);
    void CancelHistoryLoad();
    bool isLoadingHistory() const { return m_load != nullptr; }
    QProgressBar *loadProgress() const { return m_progress; }
    // Back to the live recording.
    void ShowLive();
    bool isShowingHistory() const { return m_history != nullptr; }
    // The recording the list, the timeline and the exports show.
    const ChangeRecorder &shown() const { return m_history ? *m_history : m_recorder; }

    // The database "Open History..." asks for: (parent, caption, folder, filter) -> path, empty
    // when cancelled; and the range: (parent, first and newest record) -> [since, until],
    // false when cancelled. Tests put their own in place; empty restores the dialogs.
    using OpenFileChooser =
        std::function<QString(QWidget *, const QString &, const QString &, const QString &)>;
    static void SetOpenFileChooser(OpenFileChooser chooser);
    using RangeChooser = std::function<bool(QWidget *, qint64, qint64, qint64 *, qint64 *)>;
    static void SetRangeChooser(RangeChooser chooser);
    // The ring size of windows opened from now on (tests use a small one).
    static void SetRingCapacity(qsizetype capacity);

    const ChangeRecorder &recorder() const { return m_recorder; }
    ChangeListModel *model() const { return m_model; }
    QTableView *list() const { return m_list; }
    CTimelineStrip *timeline() const { return m_timeline; }
    QTimer *timer() const { return m_timer; }
    QLabel *countsLabel() const { return m_counts; }
    QPushButton *pauseButton() const { return m_pause; }
    QLabel *sourceLabel() const { return m_source; }

private:
    const BoardModel &m_boardModel;
    QHBoxLayout *CreateCommandRow();
    QHBoxLayout *CreateExportRow();
    QHBoxLayout *CreateFilterRow();
    QTableView *CreateList();
    void AddTimeline(QVBoxLayout *layout);
    void FillBoardMenu();
    void OnBoardsChosen();
    void OnFilterEdited();
    void OnNamesChanged();
    void Export(bool vcd);
    void OnOpenHistory();
    QHBoxLayout *CreateLoadRow();
    void StartJob(const QString &text, bool measured, HistoryJob::Work work,
                  std::function<void()> done);
    void ShowLoadProgress();
    void ShowHistory(const QString &path, qint64 sinceUs, LoadedHistory loaded);
    void ShowRecording();
    void ShowCounts();
    void UpdateTimer();
    QString NameOf(const RecordedPoint &p) const;

    ChangeRecorder m_recorder;
    std::unique_ptr<ChangeRecorder> m_history; // the history shown, or none
    QString m_historyText; // "History: history.db"
    QString m_historyRange; // its range, as the counts show it
    QString m_historyPath;
    std::unique_ptr<HistoryJob> m_load; // the load running, or none
    QString m_loadText; // "Reading history.db..."
    bool m_loadMeasured = false; // its progress is known
    ChangeListModel *m_model = nullptr;
    bool m_paused = false;

    QPushButton *m_boards = nullptr;
    QMenu *m_boardMenu = nullptr;
    QPushButton *m_pause = nullptr;
    QPushButton *m_clear = nullptr;
    QPushButton *m_live = nullptr;
    QLabel *m_source = nullptr;
    QLabel *m_loadLabel = nullptr;
    QProgressBar *m_progress = nullptr;
    QPushButton *m_cancelLoad = nullptr;
    QTimer *m_progressTimer = nullptr;
    QCheckBox *m_exportFiltered = nullptr;
    QCheckBox *m_exportChanged = nullptr;
    QComboBox *m_cardFilter = nullptr;
    QLineEdit *m_pointFilter = nullptr;
    QLabel *m_counts = nullptr;
    QTableView *m_list = nullptr;
    CTimelineStrip *m_timeline = nullptr;
    QLabel *m_span = nullptr;
    QTimer *m_timer = nullptr;
};
