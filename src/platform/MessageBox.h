#pragma once
// Every message box of the program goes through ShowMessageBox: a modal box with the
// application's name as caption. Tests replace the box with a scripted answerer.

#include <QString>
#include <functional>

class QWidget;

enum MessageBoxResult : int { kIdOk = 1, kIdCancel = 2, kIdYes = 6, kIdNo = 7 };

struct MessageBoxRequest
{
    enum Buttons { Ok, YesNo };
    enum Icon { NoIcon, Information, Warning, Critical, Question };

    QString text;
    Buttons buttons = Ok;
    Icon icon = NoIcon;
    QString informative; // shown beneath the text (details of a failure)
};

using MessageBoxHandler = std::function<int(QWidget *parent, const MessageBoxRequest &)>;

// The caption of every box: "Orvane".
QString MessageBoxCaption();

int ShowMessageBox(QWidget *parent, const MessageBoxRequest &request);
// A Yes/No question with the question icon; true when the answer is Yes.
bool AskYesNo(QWidget *parent, const QString &text);
// An OK-only failure message.
void ShowFailure(QWidget *parent, const QString &text, const QString &informative = {});

// Replaces the box for tests; an empty handler restores the real one.
void SetMessageBoxHandler(MessageBoxHandler handler);
