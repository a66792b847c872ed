// The rate window over RateDialogModel.
#include "settings/ui/rate_dialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "billing/rate_text.h"
#include "platform/ui/dialog_units.h"
#include "platform/ui/first_focus.h"
#include "platform/ui/qt_ui_services.h"

RateDialog::RateDialog(const std::string& account, const std::string& itemText, QWidget* parent)
    : QDialog(parent), model_(account, itemText) {
  setObjectName("131");
  setWindowTitle(QString::fromStdString(model_.Caption()));
  // A window manager elides a long caption, and the caption is all that
  // names the account and item: the dialog shows them too.
  setFixedSize(Dx(165), Dy(66));

  Place(new QLabel("Hourly Rate", this), nullptr, 7, 8, 50, 10);
  rate_ = Place(new QLineEdit(this), "1023", 58, 7, 50, 12);
  auto* ok = Place(new QPushButton("OK", this), "1", 118, 7, 40, 14);
  ok->setDefault(true);
  auto* cancel = Place(new QPushButton("Cancel", this), "2", 118, 24, 40, 14);
  auto* names = Place(new QLabel(QString::fromStdString(account + " / " + itemText), this), "names",
                      7, 42, 151, 20);
  names->setWordWrap(true);
  names->setTextFormat(Qt::PlainText);

  // Every change passes the filter, typed, pasted or set.
  connect(rate_, &QLineEdit::textChanged, this, &RateDialog::Filter);
  rate_->setText(QString::fromStdString(model_.initialText()));
  connect(ok, &QPushButton::clicked, this, &RateDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &RateDialog::reject);
  SelectFirstEditOnOpen(this);
}

void RateDialog::Filter(const QString& text) {
  const FilteredRateText filtered = FilterRateText(text.toStdString());
  if (!filtered.changed) return;
  // Setting the filtered text calls the filter again, which finds nothing.
  rate_->setText(QString::fromStdString(filtered.text));
  rate_->setCursorPosition(static_cast<int>(filtered.caret));
}

void RateDialog::accept() {
  if (!model_.Save(rate_->text().toStdString())) {
    ShowMessageBox(this, RateTooLargeMessage(), "Horalog", MessageButtons::Ok);
    rate_->setFocus();
    return;
  }
  QDialog::accept();
}
