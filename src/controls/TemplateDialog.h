#pragma once
// What the program's dialogs share: the templates' font, a fixed size in dialog units, a modal
// frame with a system menu (no minimise or maximise box), and controls built from a template.

#include "controls/DialogTemplate.h"

#include <QDialog>

class TemplateDialog : public QDialog
{
    Q_OBJECT

public:
    enum FrameLook {
        FixedFrame, // a modal frame with a system menu: no minimise or maximise box
        PlainFrame, // the frame Qt gives a dialog
    };

protected:
    TemplateDialog(const QString &title, QSize sizeDlu, QWidget *parent,
                   FrameLook look = FixedFrame);

    TemplateControls Build(std::span<const ControlTemplate> rows)
    {
        return BuildFromTemplate(this, rows);
    }
};
