// The focus a dialog opens with: its first control, and when that is an edit
// box, with its text selected, so that typing replaces the text as it does
// on Windows instead of being added after it.
#pragma once

#include <QList>
#include <initializer_list>

class QAbstractButton;
class QDialog;
class QWidget;

// From now on, whenever dialog is shown, gives its first focusable control
// the focus and selects the text of that control when it is an editable
// QLineEdit.
void SelectFirstEditOnOpen(QDialog* dialog);

// Tab and Shift+Tab visit controls in the order given (reading order), the
// controls between them keeping the order they were created in.
void SetTabOrder(std::initializer_list<QWidget*> controls);

// A group of radio buttons is one stop of Tab and Shift+Tab, at its checked
// button (the first when none is checked), so that a Space there changes
// nothing; the arrow keys move within the group. Called again whenever the
// program checks another button.
void TabToCheckedButton(const QList<QAbstractButton*>& group);
