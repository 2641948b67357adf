#include "controls/DialogTemplate.h"

#include "controls/ImageButton.h"
#include "platform/DialogKeys.h"
#include "platform/DialogUnits.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTableWidget>

namespace {

QString Text(const ControlTemplate &row)
{
    return row.text ? QString::fromLatin1(row.text) : QString();
}

QLabel *MakeLabel(const ControlTemplate &row, QWidget *form)
{
    auto *label = new QLabel(Text(row), form);
    if (row.style & (kStyleTop | kStyleCentre))
        label->setAlignment((row.style & kStyleCentre ? Qt::AlignHCenter : Qt::AlignLeft) |
                            Qt::AlignTop);
    return label;
}

QCheckBox *MakeCheckBox(const ControlTemplate &row, QWidget *form)
{
    auto *box = new QCheckBox(Text(row), form);
    // Read without the leading space that only spaces the text from the box.
    box->setAccessibleName(box->text().trimmed());
    return box;
}

QComboBox *MakeComboBox(const ControlTemplate &row, QWidget *form)
{
    auto *box = new QComboBox(form);
    if (row.style & kStyleEditable)
        box->setEditable(true);
    if (row.style & kStyleDropDown) {
        box->setMaxVisibleItems(16);
        // The template's lists are narrow: a slim arrow leaves their texts room, as they had.
        box->setStyleSheet(QStringLiteral("QComboBox { padding-left: 2px; }"
                                          "QComboBox::drop-down { width: 13px; }"));
    }
    return box;
}

QLineEdit *MakeLineEdit(const ControlTemplate &row, QWidget *form)
{
    auto *edit = new QLineEdit(form);
    if (row.style & kStyleReadOnly)
        edit->setReadOnly(true);
    if (row.style & kStyleRight)
        edit->setAlignment(Qt::AlignRight);
    if (row.text)
        edit->setAccessibleName(Text(row));
    return edit;
}

QPushButton *MakeButton(const ControlTemplate &row, QWidget *form)
{
    QPushButton *button;
    if (row.kind == ControlKind::ImageButton) {
        auto *image = new CImageButton(Text(row), form);
        if (row.icon)
            image->LoadButtonIcons(row.icon, 20, 16, 0, 0, 0);
        image->SetFlatLook(false, true);
        button = image;
    } else {
        button = new QPushButton(Text(row), form);
    }
    if (row.style & kStyleDefault)
        button->setDefault(true);
    if (row.style & kStyleNoAutoDefault)
        button->setAutoDefault(false);
    if (row.style & kStyleClickOnEnter)
        ClickOnEnter(button);
    return button;
}

QWidget *MakeControl(const ControlTemplate &row, QWidget *form)
{
    switch (row.kind) {
    case ControlKind::Label:
        return MakeLabel(row, form);
    case ControlKind::Frame: {
        auto *frame = new QFrame(form);
        frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        return frame;
    }
    case ControlKind::GroupBox:
        return new QGroupBox(Text(row), form);
    case ControlKind::CheckBox:
        return MakeCheckBox(row, form);
    case ControlKind::ComboBox:
        return MakeComboBox(row, form);
    case ControlKind::LineEdit:
        return MakeLineEdit(row, form);
    case ControlKind::PushButton:
    case ControlKind::ImageButton:
        return MakeButton(row, form);
    case ControlKind::TabWidget:
        return new QTabWidget(form);
    case ControlKind::Table:
        return new QTableWidget(form);
    case ControlKind::Host:
        break;
    }
    return new QWidget(form);
}

} // namespace

TemplateControls BuildFromTemplate(QWidget *form, std::span<const ControlTemplate> rows)
{
    const DialogUnits du(form->font());
    QLabel *buddyOfNext = nullptr;
    for (const ControlTemplate &row : rows) {
        QWidget *control = MakeControl(row, form);
        if (row.id)
            control->setObjectName(QLatin1String(row.id));
        QRect rect = du.rect(row.x, row.y, row.width, row.height);
        // A drop-down list's template height includes the dropped list.
        if (row.style & kStyleDropDown)
            rect.setHeight(control->sizeHint().height());
        control->setGeometry(rect);
        if (buddyOfNext)
            buddyOfNext->setBuddy(control);
        buddyOfNext = row.style & kStyleBuddyOfNext ? static_cast<QLabel *>(control) : nullptr;
    }
    return TemplateControls(form);
}
