#include "controls/TemplateDialog.h"

#include "platform/DialogUnits.h"

TemplateDialog::TemplateDialog(const QString &title, QSize sizeDlu, QWidget *parent, FrameLook look)
    : QDialog(parent)
{
    setWindowTitle(title);
    if (look == FixedFrame)
        setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::MSWindowsFixedSizeDialogHint |
                       Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFont(TemplateFont());
    setFixedSize(DialogUnits(font()).size(sizeDlu.width(), sizeDlu.height()));
}
