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
  return label;
}

}  // namespace

DetailsDialog::DetailsDialog(QWidget* parent, const std::string& dateText,
                             const std::string& accountItemText, const std::string& notes,
                             const RecordStore& store, int32_t recordId)
    : QDialog(parent) {
  setObjectName("134");
  setWindowTitle("Details");
  setFixedSize(Dx(247), Dy(175));

  Place(new QLabel("Date:", this), nullptr, 7, 9, 57, 8);
  Place(Sunken(this, dateText), "1048", 66, 7, 174, 12);
  Place(new QLabel("Account/Item:", this), nullptr, 7, 25, 57, 8);
  Place(Sunken(this, accountItemText), "1049", 66, 23, 174, 12);
  Place(new QLabel("Notes:", this), nullptr, 7, 41, 57, 8);
  auto* notesEdit =
      Place(new QPlainTextEdit(QString::fromStdString(notes), this), "1052", 66, 39, 174, 44);
  notesEdit->setReadOnly(true);
  notesEdit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Place(new QLabel("Times:", this), nullptr, 7, 89, 57, 8);
  auto* times = Place(new QListWidget(this), "1051", 66, 89, 174, 60);
  times->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  for (const DetailsTimeLine& line : DetailsModel::TimeLines(store, recordId)) {
    auto* item = new QListWidgetItem(QString::fromStdString(line.text), times);
    item->setData(Qt::UserRole, line.startMinute);
  }

  auto* close = Place(new QPushButton("Close", this), "1", 83, 155, 50, 14);
  close->setDefault(true);
  close->setFocus();
  auto* help = Place(new QPushButton("&Help", this), "9", 138, 155, 50, 14);
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
