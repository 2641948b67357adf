#include "FolderPicker.h"

#include <QDir>
#include <QFileDialog>

namespace {

FolderPickerHandler &Handler()
{
    static FolderPickerHandler handler;
    return handler;
}

QString ShowBrowser(QWidget *parent, const QString &title, const QString &startFolder)
{
    QFileDialog browser(parent, title, QDir::fromNativeSeparators(startFolder));
    browser.setFileMode(QFileDialog::Directory);
    browser.setOption(QFileDialog::ShowDirsOnly);
    if (browser.exec() != QDialog::Accepted || browser.selectedFiles().isEmpty())
        return {};
    return QDir::toNativeSeparators(browser.selectedFiles().constFirst());
}

} // namespace

QString PickFolder(QWidget *parent, const QString &title, const QString &startFolder)
{
    if (Handler())
        return Handler()(parent, title, startFolder);
    return ShowBrowser(parent, title, startFolder);
}

void SetFolderPickerHandler(FolderPickerHandler handler)
{
    Handler() = std::move(handler);
}
