#include "plant/BoardPanel.h"

#include "controls/ImageButton.h"
#include "controls/LedIndicator.h"
#include "res/ResourceIds.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

namespace {

constexpr unsigned kOff = 0;
constexpr unsigned kOn = 1;
constexpr unsigned kAway = 2; // not available: the "not present" image
constexpr int kRowsPerColumn = 16;
const QSize kPointSize(170, 20);

const char *DirWord(PointDir dir)
{
    return dir == PointDir::In ? "Input" : "Output";
}

} // namespace

CBoardPanel::CBoardPanel(QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    m_title = new QLabel(this);
    m_title->setObjectName(QStringLiteral("BoardTitle"));
    layout->addWidget(m_title);
    layout->addStretch();
    for (auto &shown : m_shown)
        shown.fill(kAway);
}

QString CBoardPanel::Caption(const RemoteBoard &board, PointDir dir, int point)
{
    const QString name = board.PointName(dir, point);
    return name.isEmpty() ? QString::number(point) : QStringLiteral("%1 %2").arg(point).arg(name);
}

CLedIndicator *CBoardPanel::led(PointDir dir, int point) const
{
    return point >= 0 && point < 64 ? m_leds[int(dir)][size_t(point)] : nullptr;
}

unsigned CBoardPanel::ShownState(PointDir dir, int point) const
{
    return point >= 0 && point < 64 ? m_shown[int(dir)][size_t(point)] : kAway;
}

void CBoardPanel::Clear()
{
    delete m_body;
    m_body = nullptr;
    for (auto &leds : m_leds)
        leds.fill(nullptr);
    m_switches.fill(nullptr);
    for (auto &shown : m_shown)
        shown.fill(kAway);
    m_pending = 0;
}

QWidget *CBoardPanel::MakeGroup(const RemoteBoard &board, PointDir dir)
{
    const int count = board.Count(dir);
    auto *group =
        new QGroupBox(dir == PointDir::In ? QStringLiteral("Inputs") : QStringLiteral("Outputs"));
    auto *grid = new QGridLayout(group);
    grid->setSpacing(2);
    int n = 0;
    for (int point : LiveBits(dir, count)) {
        const QString caption = Caption(board, dir, point);
        const QString label = QStringLiteral("%1 %2").arg(QLatin1String(DirWord(dir)), caption);
        QWidget *widget = nullptr;
        if (dir == PointDir::Out && board.Writable(point)) {
            auto *button = new CImageButton(caption, group);
            button->SetAccessibleLabel(label, QString(), true);
            button->LoadButtonIcons(IDI_LED_UNAVAILABLE, 0);
            button->setEnabled(false);
            connect(button, &QPushButton::clicked, this, [this, point] {
                if (onSwitch)
                    onSwitch(point);
            });
            m_switches[size_t(point)] = button;
            widget = button;
        } else {
            auto *lamp = new CLedIndicator(group);
            lamp->SetStateCount(3, false);
            lamp->SetStateIcon(kOff, IDI_LED_OFF, 0, 0);
            lamp->SetStateIcon(kOn, dir == PointDir::In ? IDI_LED_ON : IDI_LED_OUTPUT_ON, 0, 0);
            lamp->SetStateIcon(kAway, IDI_LED_UNAVAILABLE, 0, 0);
            lamp->SetCurrentState(kAway);
            lamp->setText(caption);
            lamp->SetAccessibleLabel(
                label,
                {QStringLiteral("off"), QStringLiteral("on"), QStringLiteral("not available")});
            m_leds[int(dir)][size_t(point)] = lamp;
            widget = lamp;
        }
        widget->setFixedSize(kPointSize);
        grid->addWidget(widget, n % kRowsPerColumn, n / kRowsPerColumn);
        ++n;
    }
    grid->setRowStretch(kRowsPerColumn, 1);
    return group;
}

void CBoardPanel::Show(const RemoteBoard *board, const QString &title, bool live)
{
    Clear();
    m_title->setText(title);
    if (!board)
        return;
    m_body = new QWidget(this);
    auto *row = new QHBoxLayout(m_body);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(MakeGroup(*board, PointDir::In));
    row->addWidget(MakeGroup(*board, PointDir::Out));
    row->addStretch();
    static_cast<QVBoxLayout *>(layout())->insertWidget(1, m_body);
    Update(*board, live);
}

void CBoardPanel::Update(const RemoteBoard &board, bool live)
{
    const bool available = live && board.available();
    for (PointDir dir : {PointDir::In, PointDir::Out}) {
        const int d = int(dir);
        for (int p = 0; p < 64; ++p) {
            CLedIndicator *lamp = m_leds[d][size_t(p)];
            CImageButton *button = d == 1 ? m_switches[size_t(p)] : nullptr;
            if (!lamp && !button)
                continue;
            const unsigned state = !available || !board.Known(dir, p) ? kAway
                : board.Value(dir, p)                                 ? kOn
                                                                      : kOff;
            if (state == m_shown[d][size_t(p)])
                continue;
            m_shown[d][size_t(p)] = state;
            if (lamp) {
                lamp->SetCurrentState(state);
                continue;
            }
            button->LoadButtonIcons(state == kOn        ? IDI_LED_OUTPUT_ON
                                        : state == kOff ? IDI_LED_OFF
                                                        : IDI_LED_UNAVAILABLE,
                                    0);
            button->setEnabled(state != kAway && !(m_pending >> p & 1));
        }
    }
}

void CBoardPanel::SetPending(int point, bool pending)
{
    if (point < 0 || point >= 64)
        return;
    m_pending = pending ? m_pending | 1ull << point : m_pending & ~(1ull << point);
    if (CImageButton *button = m_switches[size_t(point)])
        button->setEnabled(!pending && m_shown[1][size_t(point)] != kAway);
}
