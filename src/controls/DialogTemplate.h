#pragma once
// A window's or dialog's controls held as data, the way a dialog template holds them: each row
// gives the control's id, its kind, its text, its rectangle in dialog units and its style bits.
// BuildFromTemplate creates the controls in the order of the rows (which is also the order of
// the tab chain) and places them for the form's font.

#include <QWidget>

#include <span>

enum class ControlKind {
    Label,
    Frame, // a sunken panel
    GroupBox,
    CheckBox,
    ComboBox,
    LineEdit,
    PushButton,
    ImageButton,
    TabWidget,
    Table, // a table of items, without rows or columns
    Host, // a plain widget that holds a page
};

enum ControlStyle : unsigned {
    kStyleTop = 1u << 0, // label: text at the top, not centred down
    kStyleCentre = 1u << 1, // label: text centred across
    kStyleBuddyOfNext = 1u << 2, // label: names the control of the next row
    kStyleDefault = 1u << 3, // button: the default button
    kStyleNoAutoDefault = 1u << 4, // button: never the default
    kStyleClickOnEnter = 1u << 5, // button outside a dialog: Enter clicks it
    kStyleReadOnly = 1u << 6, // field
    kStyleRight = 1u << 7, // field: text on the right
    kStyleDropDown = 1u << 8, // list: 16 items dropped, a slim arrow, the closed box as tall
                              // as the style needs
    kStyleEditable = 1u << 9, // list: with a field to type in
};

struct ControlTemplate
{
    const char *id; // the object name the code finds the control by; null: none
    ControlKind kind;
    // The caption; a field or list, which shows none, is read by it (its accessible name).
    const char *text;
    int x, y, width, height; // dialog units
    unsigned style = 0;
    int icon = 0; // image button: the resource id of its 20 x 16 image, shown raised
};

// The controls of one form, found by their ids.
class TemplateControls
{
public:
    explicit TemplateControls(QWidget *form)
        : m_form(form)
    {
    }

    template<class T> T *get(const QString &id) const
    {
        return m_form->findChild<T *>(id, Qt::FindDirectChildrenOnly);
    }
    template<class T> T *get(const char *id) const { return get<T>(QString::fromLatin1(id)); }

private:
    QWidget *m_form;
};

// Creates the rows' controls as children of `form`, in dialog units of the form's font.
TemplateControls BuildFromTemplate(QWidget *form, std::span<const ControlTemplate> rows);
