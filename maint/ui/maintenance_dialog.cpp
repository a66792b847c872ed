// Kestsweep's window.
#include "maint/ui/maintenance_dialog.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QShortcut>

#include "platform/ui/help.h"

namespace {

// Fills list with the model's entries and selection, raising no signal.
void ShowList(QListWidget* list, const ComboModel& model) {
  QSignalBlocker block(list);
  list->clear();
  for (const std::string& text : model.Texts()) list->addItem(QString::fromStdString(text));
  list->setCurrentRow(model.selected());
}

}  // namespace

MaintenanceDialog::MaintenanceDialog(QWidget* parent) : QDialog(parent) {
  setObjectName("maint");
  // The icon is the program's, set for every window by the program shell.
  setWindowTitle("Horalog Database Maintenance");

  // The controls sit where the dialog template puts them, in dialog units of
  // the window's font, so the window keeps its proportions with any font.
  // The group boxes come first: the controls inside them are drawn on top.
  // The device box and the account list are wider than the template's, so
  // that account names of 31 characters show whole in the programs' font;
  // what stands right of them moves along.
  auto place = [this](QWidget* control, const char* id, QRect where) {
    if (id) control->setObjectName(id);
    control->setGeometry(where);
    return control;
  };
  place(new QGroupBox("Device", this), nullptr, DialogUnits(7, 7, 287, 38));
  place(new QGroupBox("Account", this), nullptr, DialogUnits(7, 46, 287, 105));

  devices_ = new QComboBox(this);
  QRect comboArea = DialogUnits(13, 20, 158, 105);
  comboArea.setHeight(devices_->sizeHint().height());  // the closed box; its list drops below
  place(devices_, "1000", comboArea);
  auto* archiveDevice = new QPushButton("Archive", this);
  place(archiveDevice, "1003", DialogUnits(180, 19, 50, 14));
  deleteDevice_ = new QPushButton("Delete", this);
  place(deleteDevice_, "1004", DialogUnits(237, 19, 50, 14));

  accounts_ = new QListWidget(this);
  place(accounts_, "1001", DialogUnits(13, 58, 158, 88));
  auto* archiveAccount = new QPushButton("Archive", this);
  place(archiveAccount, "1002", DialogUnits(180, 58, 50, 14));
  deleteAccount_ = new QPushButton("Delete", this);
  place(deleteAccount_, "1005", DialogUnits(237, 58, 50, 14));
  place(new QLabel("Status", this), nullptr, DialogUnits(180, 81, 44, 9));
  status_ = new QListWidget(this);
  place(status_, "1006", DialogUnits(180, 90, 106, 56));

  auto* close = new QPushButton("Close", this);
  place(close, "2", DialogUnits(305, 7, 50, 14));
  close->setDefault(true);
  auto* help = new QPushButton("Help", this);
  place(help, "9", DialogUnits(305, 26, 50, 14));
  setFixedSize(DialogUnits(0, 0, 362, 158).size());

  // Archiving was never built: the buttons stay, disabled.
  archiveDevice->setEnabled(false);
  archiveAccount->setEnabled(false);

  connect(devices_, &QComboBox::activated, this, [this](int index) {
    model_.SelectDevice(index);
    ShowModel();
  });
  connect(accounts_, &QListWidget::currentRowChanged, this, [this](int row) {
    model_.SelectAccount(row);
    ShowList(status_, model_.status());
    deleteAccount_->setEnabled(row >= 0);
  });
  connect(deleteDevice_, &QPushButton::clicked, this, &MaintenanceDialog::OnDeleteHandheld);
  connect(deleteAccount_, &QPushButton::clicked, this, &MaintenanceDialog::OnDeleteAccount);
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
  connect(help, &QPushButton::clicked, this, &MaintenanceDialog::OnHelp);
  auto* f1 = new QShortcut(QKeySequence(QKeySequence::HelpContents), this);
  connect(f1, &QShortcut::activated, this, &MaintenanceDialog::OnHelp);

  model_.Open();
  ShowModel();
}

QRect MaintenanceDialog::DialogUnits(int x, int y, int width, int height) const {
  // Windows' base units: the average width of the letters, and the height
  // of the font; a dialog unit is a quarter of the one, an eighth of the other.
  const QFontMetrics metrics = fontMetrics();
  const int baseX =
      (metrics.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") + 26) / 52;
  const int baseY = metrics.height();
  return QRect(x * baseX / 4, y * baseY / 8, width * baseX / 4, height * baseY / 8);
}

void MaintenanceDialog::ShowModel() {
  {
    QSignalBlocker block(devices_);
    devices_->clear();
    for (const std::string& text : model_.devices().Texts()) {
      devices_->addItem(QString::fromStdString(text));
    }
    devices_->setCurrentIndex(model_.devices().selected());
  }
  ShowList(accounts_, model_.accounts());
  ShowList(status_, model_.status());
  // Delete asks about what is selected: with nothing there, nothing to ask.
  deleteDevice_->setEnabled(devices_->count() > 0);
  deleteAccount_->setEnabled(accounts_->currentRow() >= 0);
}

void MaintenanceDialog::OnDeleteHandheld() {
  model_.DeleteHandheld();
  ShowModel();
}

void MaintenanceDialog::OnDeleteAccount() {
  model_.DeleteAccount();
  ShowModel();
}

void MaintenanceDialog::OnHelp() { ShowHelp(kHelpMaintenance); }
