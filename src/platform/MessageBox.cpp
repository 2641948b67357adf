#include "platform/MessageBox.h"

#include <QMessageBox>

namespace {

int ShowRealBox(QWidget *parent, const MessageBoxRequest &request)
{
    static const QMessageBox::Icon icons[] = {QMessageBox::NoIcon, QMessageBox::Information,
                                              QMessageBox::Warning, QMessageBox::Critical,
                                              QMessageBox::Question};
    QMessageBox box(icons[request.icon], MessageBoxCaption(), request.text,
                    request.buttons == MessageBoxRequest::YesNo ? QMessageBox::Yes | QMessageBox::No
                                                                : QMessageBox::Ok,
                    parent);
    box.setInformativeText(request.informative);
    if (request.buttons == MessageBoxRequest::YesNo)
        box.setDefaultButton(QMessageBox::Yes);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return kIdYes;
    case QMessageBox::No:
        return kIdNo;
    default:
        // Escape on a Yes/No box answers No: only Yes acts.
        return request.buttons == MessageBoxRequest::YesNo ? kIdNo : kIdOk;
    }
}

MessageBoxHandler &Handler()
{
    static MessageBoxHandler handler;
    return handler;
}

} // namespace

QString MessageBoxCaption()
{
    return QStringLiteral("Orvane");
}

int ShowMessageBox(QWidget *parent, const MessageBoxRequest &request)
{
    return Handler() ? Handler()(parent, request) : ShowRealBox(parent, request);
}

bool AskYesNo(QWidget *parent, const QString &text)
{
    return ShowMessageBox(
               parent, {text, MessageBoxRequest::YesNo, MessageBoxRequest::Question, {}}) == kIdYes;
}

void ShowFailure(QWidget *parent, const QString &text, const QString &informative)
{
    ShowMessageBox(parent, {text, MessageBoxRequest::Ok, MessageBoxRequest::Warning, informative});
}

void SetMessageBoxHandler(MessageBoxHandler handler)
{
    Handler() = std::move(handler);
}
