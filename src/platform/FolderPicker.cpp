#include "platform/FolderPicker.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace {

FolderPickerHandler &Handler()
{
    static FolderPickerHandler handler;
    return handler;
}

// The folder itself when it exists, else its nearest existing parent.
QString ExistingFolder(const QString &folder)
{
    QFileInfo info(QDir::fromNativeSeparators(folder));
    while (!info.isDir() && !info.filePath().isEmpty() && !info.isRoot() &&
           info.filePath() != info.path())
        info.setFile(info.path());
    return info.isDir() ? info.absoluteFilePath() : QString();
}

QString ShowBrowser(QWidget *parent, const QString &title, const QString &startFolder)
{
    QFileDialog browser(parent, title, ExistingFolder(startFolder));
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
