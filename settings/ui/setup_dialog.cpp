// The "Setup" window over SetupModel.
#include "settings/ui/setup_dialog.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSortFilterProxyModel>

#include "billing/rate_text.h"
#include "platform/ui/dialog_units.h"
#include "platform/ui/first_focus.h"
#include "platform/ui/help.h"
#include "platform/ui/qt_ui_services.h"

namespace {

QString Text(const std::string& text) { return QString::fromStdString(text); }

// The chooser's view of a folder: its sub-folders and the files the user may
// execute.
class ProgramsOnly : public QSortFilterProxyModel {
 public:
  using QSortFilterProxyModel::QSortFilterProxyModel;

 protected:
  bool filterAcceptsRow(int row, const QModelIndex& parent) const override {
    auto* files = qobject_cast<QFileSystemModel*>(sourceModel());
    if (files == nullptr) return true;
    const QFileInfo info = files->fileInfo(files->index(row, 0, parent));
    return info.isDir() || info.isExecutable();
  }
};

}  // namespace

SetupDialog::SetupDialog(QWidget* parent) : QDialog(parent) {
  setObjectName("132");
  setWindowTitle("Setup");
  setFixedSize(Dx(250), Dy(164));
  const SetupValues& initial = model_.initial();

  Place(new QGroupBox("Company Address", this), nullptr, 7, 7, 236, 78);
  const char* addressIds[] = {"1033", "1034", "1035", "1036"};
  for (size_t line = 0; line < addresses_.size(); ++line) {
    addresses_[line] =
        Place(new QLineEdit(this), addressIds[line], 14, 19 + 15 * static_cast<int>(line), 222, 12);
    addresses_[line]->setMaxLength(static_cast<int>(SetupModel::kAddressChars));
    addresses_[line]->setText(Text(initial.addresses[line]));
  }

  Place(new QLabel("Editor", this), nullptr, 7, 93, 50, 8);
  editor_ = Place(new QLineEdit(this), "1037", 60, 91, 162, 12);
  editor_->setMaxLength(static_cast<int>(SetupModel::kEditorChars));
  editor_->setText(Text(initial.editorPath));
  auto* browse = Place(new QPushButton("...", this), "1038", 226, 91, 17, 12);

  Place(new QLabel("Default Rate", this), nullptr, 7, 110, 52, 8);
  rate_ = Place(new QLineEdit(this), "1039", 60, 108, 50, 12);
  connect(rate_, &QLineEdit::textChanged, this, &SetupDialog::FilterRate);
  rate_->setText(Text(initial.defaultRate));

  Place(new QLabel("Currency Symbol", this), nullptr, 116, 110, 72, 8);
  // No length limit on the edit itself: that would cut a longer stored
  // symbol; CheckCurrency refuses typing beyond one character instead.
  currency_ = Place(new QLineEdit(this), "1069", 190, 108, 20, 12);
  currency_->setText(Text(initial.currencySymbol));
  acceptedCurrency_ = currency_->text();
  connect(currency_, &QLineEdit::textChanged, this, &SetupDialog::CheckCurrency);
  SelectFirstEditOnOpen(this);

  // Not in the Windows dialog: whether documents also get a PDF beside them.
  savePdf_ = Place(new QCheckBox("Also save as PDF", this), "1070", 60, 126, 120, 10);
  savePdf_->setChecked(initial.savePdf);

  auto* ok = Place(new QPushButton("OK", this), "1", 83, 143, 50, 14);
  ok->setDefault(true);
  auto* cancel = Place(new QPushButton("Cancel", this), "2", 138, 143, 50, 14);
  auto* help = Place(new QPushButton("&Help", this), "9", 193, 143, 50, 14);

  connect(browse, &QPushButton::clicked, this, [this] {
    const QString chosen = ChooseEditor(this, editor_->text());
    if (!chosen.isEmpty()) editor_->setText(chosen);
  });
  connect(ok, &QPushButton::clicked, this, &SetupDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &SetupDialog::reject);
  connect(help, &QPushButton::clicked, this, [] { ShowHelp(kHelpSetup); });
}

QString SetupDialog::ChooseEditor(QWidget* parent, const QString& current) {
  QFileDialog dialog(parent, "Editor");
  // Qt's own dialog takes the programs-only view below; a desktop's native
  // one would list every file.
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setNameFilter("Programs (*)");
  // QDir::Executable as the dialog's filter hides every entry; a proxy does
  // the filtering instead.
  dialog.setProxyModel(new ProgramsOnly(&dialog));
  if (!current.isEmpty()) {
    const QFileInfo info(current);
    dialog.setDirectory(info.absolutePath());
    dialog.selectFile(info.fileName());
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  const QFileInfo chosen(dialog.selectedFiles().first());
  return chosen.isFile() ? chosen.absoluteFilePath() : QString();
}

void SetupDialog::FilterRate(const QString& text) {
  const FilteredRateText filtered = FilterDefaultRateText(text.toStdString());
  if (!filtered.changed) return;
  rate_->setText(Text(filtered.text));
  rate_->setCursorPosition(static_cast<int>(filtered.caret));
}

void SetupDialog::CheckCurrency(const QString& text) {
  if (SetupModel::AcceptsCurrencyEdit(acceptedCurrency_.toStdString(), text.toStdString())) {
    acceptedCurrency_ = text;
    return;
  }
  // The refused edit is undone with the caret where it was typed.
  const int caret = currency_->cursorPosition();
  const QSignalBlocker blocker(currency_);
  currency_->setText(acceptedCurrency_);
  currency_->setCursorPosition(
      qMax(0, caret - static_cast<int>(text.size() - acceptedCurrency_.size())));
}

void SetupDialog::accept() {
  SetupValues values;
  for (size_t line = 0; line < addresses_.size(); ++line) {
    values.addresses[line] = addresses_[line]->text().toStdString();
  }
  values.editorPath = editor_->text().toStdString();
  values.defaultRate = rate_->text().toStdString();
  values.currencySymbol = currency_->text().toStdString();
  values.savePdf = savePdf_->isChecked();
  if (!model_.Save(values)) {
    ShowMessageBox(this, RateTooLargeMessage(), "Horalog", MessageButtons::Ok);
    rate_->setFocus();
    return;
  }
  QDialog::accept();
}
