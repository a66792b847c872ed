// The focus a dialog opens with.
#include "platform/ui/first_focus.h"

#include <QAbstractButton>
#include <QDialog>
#include <QEvent>
#include <QLineEdit>

namespace {

// Watches one dialog for being shown; owned by it.
class FirstFocus : public QObject {
 public:
  explicit FirstFocus(QDialog* dialog) : QObject(dialog) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::Show) return false;
    auto* dialog = static_cast<QWidget*>(watched);
    QWidget* first = dialog->nextInFocusChain();
    while (first != dialog && !((first->focusPolicy() & Qt::TabFocus) != 0 &&
                                first->isVisibleTo(dialog) && first->isEnabled())) {
      first = first->nextInFocusChain();
    }
    // QDialog gives the focus to the button or control it thinks first
    // otherwise, and Qt selects an edit's text only when tabbed into.
    if (auto* edit = qobject_cast<QLineEdit*>(first); edit != nullptr && !edit->isReadOnly()) {
      edit->setFocus(Qt::TabFocusReason);
      edit->selectAll();
    }
    return false;
  }
};

}  // namespace

void SelectFirstEditOnOpen(QDialog* dialog) { dialog->installEventFilter(new FirstFocus(dialog)); }

void SetTabOrder(std::initializer_list<QWidget*> controls) {
  QWidget* previous = nullptr;
  for (QWidget* control : controls) {
    if (previous != nullptr) QWidget::setTabOrder(previous, control);
    previous = control;
  }
}

void TabToCheckedButton(const QList<QAbstractButton*>& group) {
  if (group.isEmpty()) return;
  QAbstractButton* stop = group.first();
  for (QAbstractButton* button : group) {
    if (button->isChecked()) stop = button;
  }
  for (QAbstractButton* button : group) {
    const Qt::FocusPolicy policy = button->focusPolicy();
    button->setFocusPolicy(button == stop ? Qt::FocusPolicy(policy | Qt::TabFocus)
                                          : Qt::FocusPolicy(policy & ~Qt::TabFocus));
  }
}
