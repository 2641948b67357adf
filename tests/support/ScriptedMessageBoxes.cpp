#include "ScriptedMessageBoxes.h"

ScriptedMessageBoxes::ScriptedMessageBoxes(int answer)
    : defaultAnswer(answer)
{
    SetMessageBoxHandler([this](QWidget *, const MessageBoxRequest &request) {
        asked << request;
        if (request.buttons == MessageBoxRequest::Ok)
            return int(kIdOk);
        return answers.isEmpty() ? defaultAnswer : answers.takeFirst();
    });
}

ScriptedMessageBoxes::~ScriptedMessageBoxes()
{
    SetMessageBoxHandler({});
}

QStringList ScriptedMessageBoxes::texts() const
{
    QStringList result;
    for (const MessageBoxRequest &r : asked)
        result << r.text;
    return result;
}
