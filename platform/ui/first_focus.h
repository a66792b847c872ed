// The focus a dialog opens with: its first control, and when that is an edit
// box, with its text selected, so that typing replaces the text as it does
// on Windows instead of being added after it.
#pragma once

class QDialog;

// From now on, whenever dialog is shown, gives its first focusable control
// the focus and selects the text of that control when it is an editable
// QLineEdit.
void SelectFirstEditOnOpen(QDialog* dialog);
