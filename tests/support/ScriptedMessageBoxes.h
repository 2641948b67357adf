#pragma once
// Replaces every message box while it lives: records each box in order and answers from a
// script (then with the default answer).

#include "platform/MessageBox.h"

#include <QList>
#include <QStringList>

class ScriptedMessageBoxes
{
public:
    explicit ScriptedMessageBoxes(int defaultAnswer = kIdNo);
    ~ScriptedMessageBoxes();

    QList<int> answers; // taken in turn for Yes/No boxes
    int defaultAnswer;
    QList<MessageBoxRequest> asked;

    QStringList texts() const;
};
