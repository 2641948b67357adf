#pragma once
// The folder browser ("Select Folder"): the operator picks an existing folder. Tests replace
// it with a scripted answerer, as they do the message boxes.

#include <QString>
#include <functional>

class QWidget;

// Answers the chosen folder's path with native separators, or an empty text when the operator
// cancelled. `startFolder` is selected when the browser opens, when it exists.
using FolderPickerHandler =
    std::function<QString(QWidget *parent, const QString &title, const QString &startFolder)>;

QString PickFolder(QWidget *parent, const QString &title, const QString &startFolder);

// Replaces the browser for tests; an empty handler restores the real one.
void SetFolderPickerHandler(FolderPickerHandler handler);
