// The "Details" window over DetailsModel.
#include "reporting/ui/details_dialog.h"

#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>

#include "platform/ui/dialog_units.h"
#include "platform/ui/help.h"
#include "reporting/details_model.h"

namespace {

QLabel* Sunken(QWidget* parent, const std::string& text) {
  auto* label = new QLabel(QString::fromStdString(text), parent);
  label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  label->setTextFormat(Qt::PlainText);
  return label;
}

}  // namespace

DetailsDialog::DetailsDialog(QWidget* parent, const std::string& dateText,
                             const std::string& accountItemText, const std::string& notes,
                             const RecordStore& store, int32_t recordId)
    : QDialog(parent) {
  setObjectName("134");
  setWindowTitle("Details");
  // Wider than the template, with an Account/Item field of two lines and
  // taller labels: two names of 31 characters and the labels' descenders
  // fit in the programs' font.
  setFixedSize(Dx(280), Dy(183));

  Place(new QLabel("Date:", this), nullptr, 7, 8, 57, 10);
  Place(Sunken(this, dateText), "1048", 66, 7, 207, 12);
  Place(new QLabel("Account/Item:", this), nullptr, 7, 24, 57, 10);
  auto* names = Place(Sunken(this, accountItemText), "1049", 66, 23, 207, 20);
  names->setWordWrap(true);
  names->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  Place(new QLabel("Notes:", this), nullptr, 7, 48, 57, 10);
  auto* notesEdit =
      Place(new QPlainTextEdit(QString::fromStdString(notes), this), "1052", 66, 47, 207, 44);
  notesEdit->setReadOnly(true);
  // Read-only, yet a stop of Tab: the arrow keys scroll long notes, and the
  // caret shows where the focus is.
  notesEdit->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  notesEdit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Place(new QLabel("Times:", this), nullptr, 7, 96, 57, 10);
  auto* times = Place(new QListWidget(this), "1051", 66, 97, 207, 60);
  times->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  for (const DetailsTimeLine& line : DetailsModel::TimeLines(store, recordId)) {
    auto* item = new QListWidgetItem(QString::fromStdString(line.text), times);
    item->setData(Qt::UserRole, line.startMinute);
  }

  auto* close = Place(new QPushButton("Close", this), "1", 99, 163, 50, 14);
  close->setDefault(true);
  close->setFocus();
  auto* help = Place(new QPushButton("&Help", this), "9", 154, 163, 50, 14);
  connect(close, &QPushButton::clicked, this, &DetailsDialog::accept);
  connect(help, &QPushButton::clicked, this, [] { ShowHelp(kHelpDetails); });
}

bool DetailsDialog::ShowRecord(QWidget* parent, const RecordStore& store, int32_t recordId,
                               const std::string& accountText) {
  const DetailsModel details(store, recordId, accountText);
  if (!details.found()) return false;
  DetailsDialog dialog(parent, details.dateText(), details.accountItemText(), details.notes(),
                       store, recordId);
  dialog.exec();
  return true;
}
