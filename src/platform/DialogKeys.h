#pragma once
// The part of a dialog's keyboard handling that the program's form views and tool bar need:
// Enter on a focused push button clicks it. Qt gives that only to buttons in a QDialog. And the
// part they must not have: Enter and Escape closing the form.

class QAbstractButton;

// Enter or Return while `button` has the focus clicks it (when it is enabled); any other key
// reaches the button as before.
void ClickOnEnter(QAbstractButton *button);

class QWidget;

// Enter, Return and Escape that reach `widget` do nothing there and go no further (to its
// frame); any other key reaches it as before.
void IgnoreEnterAndEscape(QWidget *widget);
