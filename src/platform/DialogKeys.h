#pragma once
// The part of a dialog's keyboard handling that the program's form views and tool bar need:
// Enter on a focused push button clicks it. Qt gives that only to buttons in a QDialog.

class QAbstractButton;

// Enter or Return while `button` has the focus clicks it (when it is enabled); any other key
// reaches the button as before.
void ClickOnEnter(QAbstractButton *button);
