// Kestrune's main window.
#include "app/ui/reporting_dialog.h"

#include <QAbstractTableModel>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "app/ui/about_dialog.h"
#include "app/ui/app_icon.h"
#include "documents/invoice.h"
#include "documents/ui/report_dialog.h"
#include "platform/ui/first_focus.h"
#include "platform/ui/help.h"
#include "reporting/ui/details_dialog.h"
#include "settings/ui/account_prefs_dialog.h"
#include "settings/ui/rate_dialog.h"
#include "settings/ui/setup_dialog.h"
#include "sync/ui/sync_dialog.h"

// The record list's rows, straight from the model.
class RecordTableModel : public QAbstractTableModel {
 public:
  explicit RecordTableModel(ReportingModel& model, QObject* parent)
      : QAbstractTableModel(parent), model_(model) {}

  int rowCount(const QModelIndex& parent) const override {
    return parent.isValid() ? 0 : static_cast<int>(model_.rows().size());
  }
  int columnCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : 7; }

  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid()) return {};
    const RecordRow& row = model_.rows()[static_cast<size_t>(index.row())];
    if (role == Qt::DisplayRole) {
      const std::string* texts[] = {&row.inc,  &row.item,      &row.date,   &row.time,
                                    &row.rate, &row.extension, &row.invDate};
      return QString::fromStdString(*texts[index.column()]);
    }
    if (role == Qt::TextAlignmentRole) return Alignment(index.column());
    if (role == Qt::UserRole) return row.id;
    return {};
  }

  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    if (orientation != Qt::Horizontal) return {};
    if (role == Qt::DisplayRole) return QString(kRecordColumns[section]);
    if (role == Qt::TextAlignmentRole) return Alignment(section);
    return {};
  }

  void Reset() {
    beginResetModel();
    endResetModel();
  }
  void ChangedTexts() {
    if (rowCount({}) > 0) emit dataChanged(index(0, 0), index(rowCount({}) - 1, 6));
  }

  static int Alignment(int column) {
    if (column == 0) return Qt::AlignCenter;
    return (column == 1 ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter;
  }

 private:
  ReportingModel& model_;
};

namespace {

QComboBox* MakeCombo(QWidget* parent, const char* id) {
  auto* combo = new QComboBox(parent);
  combo->setObjectName(id);
  combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  combo->setMinimumContentsLength(16);
  return combo;
}

QPushButton* MakeButton(QWidget* parent, const char* id, const char* text) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(id);
  return button;
}

QLineEdit* MakeReadOnly(QWidget* parent, const char* id) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(id);
  edit->setReadOnly(true);
  edit->setAlignment(Qt::AlignRight);
  return edit;
}

// Fills combo with the model's entries and selection, raising no signal.
void ShowCombo(QComboBox* combo, const ComboModel& model) {
  QSignalBlocker block(combo);
  combo->clear();
  for (const std::string& text : model.Texts()) combo->addItem(QString::fromStdString(text));
  combo->setCurrentIndex(model.selected());
}

}  // namespace

struct ReportingDialog::Buttons {
  QPushButton* close;
  QPushButton* help;
  QPushButton* details;
  QPushButton* setup;
  QPushButton* prefs;
  QPushButton* rate;
  QPushButton* invoice;
  QPushButton* connectButton;
  QPushButton* report;
};

ReportingDialog::ReportingDialog(CePlatform& platform, QWidget* parent)
    : QDialog(parent), platform_(platform) {
  setObjectName("102");
  setWindowTitle("Horalog Reporting");
  setWindowIcon(HoralogIcon());
  setWindowFlags(windowFlags() | Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint);
  resize(820, 520);

  MakeSelection();
  MakeList();
  const Buttons buttons = MakeButtons();
  MakeTotals();
  AddHelpMenu(buttons.help);
  LayOut(buttons);
  ConnectSelection();
  ConnectButtons(buttons);
}

void ReportingDialog::MakeSelection() {
  devices_ = MakeCombo(this, "1040");
  dateRanges_ = MakeCombo(this, "1003");
  showAll_ = new QCheckBox("Sho&w all records (including invoiced)", this);
  showAll_->setObjectName("1045");
  accounts_ = MakeCombo(this, "1001");
  items_ = MakeCombo(this, "1002");
  // Account and item names have up to 31 characters: shown whole.
  accounts_->setMinimumContentsLength(31);
  items_->setMinimumContentsLength(31);
}

void ReportingDialog::MakeList() {
  list_ = new QTableView(this);
  list_->setObjectName("1000");
  // Space and Enter in the list include or exclude the highlighted row, as a
  // double-click does: a Linux list takes its own keys rather than handing
  // Enter to the window's default button. Enter on any other control still
  // presses the default button (Close).
  list_->installEventFilter(this);
  table_ = new RecordTableModel(model_, this);
  list_->setModel(table_);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  // Tab and Shift+Tab move between the window's controls; the arrow keys
  // move within the list.
  list_->setTabKeyNavigation(false);
  list_->setShowGrid(false);
  list_->setWordWrap(false);
  list_->verticalHeader()->hide();
  list_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
  list_->horizontalHeader()->setHighlightSections(false);
  const int widths[] = {30, 160, 72, 48, 60, 80, 72};
  for (int column = 0; column < 7; ++column) list_->setColumnWidth(column, widths[column]);
}

ReportingDialog::Buttons ReportingDialog::MakeButtons() {
  details_ = MakeButton(this, "1046", "&Details");
  details_->setEnabled(false);
  QPushButton* close = MakeButton(this, "1", "Close");
  close->setDefault(true);
  QPushButton* help = MakeButton(this, "9", "&Help");
  QPushButton* setup = MakeButton(this, "1032", "&Setup");
  prefs_ = MakeButton(this, "1006", "&Acct Prefs");
  rateButton_ = MakeButton(this, "1022", "&Rate");
  QPushButton* invoice = MakeButton(this, "1025", "&Invoice");
  QPushButton* connectButton = MakeButton(this, "1026", "&Connect");
  QPushButton* report = MakeButton(this, "1064", "R&eport");
  return {close, help, details_, setup, prefs_, rateButton_, invoice, connectButton, report};
}

void ReportingDialog::MakeTotals() {
  rate_ = MakeReadOnly(this, "1023");
  totalTime_ = MakeReadOnly(this, "1004");
  invoiceTotal_ = MakeReadOnly(this, "1024");
}

// A Linux window has no system menu to extend: the About entry sits in the
// Help button's menu, beside the help itself, which F1 also opens. The
// menu's entry is F1's only owner: it belongs to the window as well, so F1
// works with the menu closed, and a second owner would make F1 ambiguous.
void ReportingDialog::AddHelpMenu(QPushButton* help) {
  auto* helpMenu = new QMenu(help);
  QAction* helpAction = helpMenu->addAction(
      "Kestrune &Help", QKeySequence(QKeySequence::HelpContents), this, &ReportingDialog::OnHelp);
  addAction(helpAction);
  helpMenu->addSeparator();
  helpMenu->addAction("&About Kestrune...", this, &ReportingDialog::OnAbout);
  help->setMenu(helpMenu);
}

void ReportingDialog::LayOut(const Buttons& b) {
  auto* selection = new QGridLayout;
  selection->addWidget(new QLabel("Device", this), 0, 0);
  selection->addWidget(devices_, 0, 1);
  selection->addWidget(new QLabel("Date Range", this), 0, 2);
  selection->addWidget(dateRanges_, 0, 3);
  selection->addWidget(new QLabel("Account", this), 1, 0);
  selection->addWidget(accounts_, 1, 1);
  selection->addWidget(new QLabel("Item", this), 1, 2);
  selection->addWidget(items_, 1, 3);
  // A row of its own: beside two lists that show 31-character names whole
  // it would make the window wider than a 1024-pixel screen.
  selection->addWidget(showAll_, 2, 1, 1, 3);
  selection->setColumnStretch(1, 1);
  selection->setColumnStretch(3, 1);

  auto* totals = new QHBoxLayout;
  for (auto [label, edit] : {std::pair{"Rate", rate_}, std::pair{"Total Time", totalTime_},
                             std::pair{"Invoice Total", invoiceTotal_}}) {
    totals->addWidget(new QLabel(label, this));
    totals->addWidget(edit);
  }

  auto* left = new QVBoxLayout;
  left->addLayout(selection);
  left->addWidget(list_, 1);
  left->addLayout(totals);
  // Where the last document and its PDF went: the editor shows the one,
  // nothing else says where the other is.
  documentStatus_ = new QLabel(this);
  documentStatus_->setObjectName("documentStatus");
  documentStatus_->setTextFormat(Qt::PlainText);
  documentStatus_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  left->addWidget(documentStatus_);

  auto* buttons = new QVBoxLayout;
  for (QPushButton* button : {b.close, b.help, b.details, b.setup, b.prefs, b.rate, b.invoice,
                              b.connectButton, b.report}) {
    buttons->addWidget(button);
  }
  buttons->addStretch(1);

  // Reading order: the selection row by row, the list, the totals, then the
  // buttons down their column.
  SetTabOrder({devices_, dateRanges_, accounts_, items_, showAll_, list_, rate_, totalTime_,
               invoiceTotal_, b.close, b.help, b.details, b.setup, b.prefs, b.rate, b.invoice,
               b.connectButton, b.report});

  auto* main = new QHBoxLayout(this);
  main->addLayout(left, 1);
  main->addLayout(buttons);
}

void ReportingDialog::ConnectSelection() {
  connect(devices_, &QComboBox::activated, this, [this](int index) {
    model_.SelectDevice(index);
    ShowModel();
  });
  connect(accounts_, &QComboBox::activated, this, [this](int index) {
    model_.SelectAccount(index);
    ShowModel();
  });
  connect(items_, &QComboBox::activated, this, [this](int index) {
    model_.SelectItem(index);
    ShowModel();
  });
  connect(dateRanges_, &QComboBox::activated, this, [this](int index) {
    model_.SelectDateRange(index);
    ShowRows();
  });
  connect(showAll_, &QCheckBox::toggled, this, [this](bool checked) {
    model_.SetShowAll(checked);
    ShowModel();
  });
  connect(list_, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
    model_.FlipRow(index.isValid() ? index.row() : -1);
    ShowRows();
  });
  // Details follows the highlighted row, not the current one: the list
  // makes its first row current, unhighlighted, when it gets the focus.
  connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
    const QModelIndexList selected = list_->selectionModel()->selectedRows();
    model_.SelectRow(selected.isEmpty() ? -1 : selected.first().row());
    details_->setEnabled(model_.detailsEnabled());
  });
}

void ReportingDialog::ConnectButtons(const Buttons& b) {
  connect(b.close, &QPushButton::clicked, this, [this] { done(QDialog::Accepted); });
  connect(b.details, &QPushButton::clicked, this, &ReportingDialog::OnDetails);
  connect(b.setup, &QPushButton::clicked, this, &ReportingDialog::OnSetup);
  connect(b.prefs, &QPushButton::clicked, this, &ReportingDialog::OnAcctPrefs);
  connect(b.rate, &QPushButton::clicked, this, &ReportingDialog::OnRate);
  connect(b.connectButton, &QPushButton::clicked, this, &ReportingDialog::OnConnect);
  connect(b.invoice, &QPushButton::clicked, this, &ReportingDialog::OnInvoice);
  connect(b.report, &QPushButton::clicked, this, &ReportingDialog::OnReport);
}

ReportingDialog::~ReportingDialog() = default;

void ReportingDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // The synchronization dialog needs its owner on screen first.
  if (!startedUp_) QTimer::singleShot(0, this, &ReportingDialog::StartUp);
}

void ReportingDialog::StartUp() {
  if (startedUp_) return;
  startedUp_ = true;
  model_.LoadDefaults();
  QApplication::setOverrideCursor(Qt::WaitCursor);
  SyncDialog sync(this, platform_, false);
  sync.exec();
  model_.FillDeviceList(sync.deviceName());
  QApplication::restoreOverrideCursor();
  ShowModel();
}

bool ReportingDialog::eventFilter(QObject* watched, QEvent* event) {
  if (watched != list_ || event->type() != QEvent::KeyPress)
    return QDialog::eventFilter(watched, event);
  const int key = static_cast<QKeyEvent*>(event)->key();
  const Qt::KeyboardModifiers modifiers =
      static_cast<QKeyEvent*>(event)->modifiers() & ~Qt::KeypadModifier;
  if ((key != Qt::Key_Space && key != Qt::Key_Return && key != Qt::Key_Enter) ||
      modifiers != Qt::NoModifier) {
    return false;
  }
  // Space on a list with nothing highlighted highlights the current row, as
  // any list does; Enter there does nothing.
  const QModelIndexList selected = list_->selectionModel()->selectedRows();
  if (selected.isEmpty()) return key != Qt::Key_Space;
  model_.FlipRow(selected.first().row());
  ShowRows();
  return true;
}

void ReportingDialog::ShowModel() {
  ShowCombo(devices_, model_.devices());
  ShowCombo(accounts_, model_.accounts());
  ShowCombo(items_, model_.items());
  {
    QSignalBlocker block(showAll_);
    showAll_->setChecked(model_.showAll());
  }
  table_->Reset();
  ShowRows();
}

void ReportingDialog::ShowRows() {
  ShowCombo(dateRanges_, model_.dateRanges());
  if (table_->rowCount({}) != static_cast<int>(model_.rows().size())) {
    table_->Reset();
  } else {
    table_->ChangedTexts();
  }
  // An item name of up to 31 characters shows whole: the Item column grows
  // to the widest one listed (and keeps a width the user gave it).
  const int itemWidth = list_->columnWidth(1);
  list_->resizeColumnToContents(1);
  list_->setColumnWidth(1, std::max(itemWidth, list_->columnWidth(1)));
  rate_->setText(QString::fromStdString(model_.rateText()));
  totalTime_->setText(QString::fromStdString(model_.totalTimeText()));
  invoiceTotal_->setText(QString::fromStdString(model_.invoiceTotalText()));
  const int selected = model_.selectedRow();
  {
    QSignalBlocker block(list_->selectionModel());
    if (selected >= 0) {
      list_->selectionModel()->setCurrentIndex(
          table_->index(selected, 0),
          QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    } else {
      list_->selectionModel()->clear();
    }
  }
  list_->viewport()->update();
  details_->setEnabled(model_.detailsEnabled());
  prefs_->setEnabled(model_.accountCommandsEnabled());
  rateButton_->setEnabled(model_.accountCommandsEnabled());
}

void ReportingDialog::OnAcctPrefs() {
  AccountPrefsDialog dialog(model_.accounts().ComboText(), this);
  dialog.exec();
  model_.AfterAccountPrefs();
  ShowModel();
}

void ReportingDialog::OnRate() {
  RateDialog dialog(model_.accounts().ComboText(), model_.items().ComboText(), this);
  model_.AfterRate(dialog.exec() == QDialog::Accepted);
  ShowModel();
}

void ReportingDialog::OnConnect() {
  SyncDialog sync(this, platform_, false);
  sync.exec();
  model_.AfterConnect();
  ShowModel();
}

void ReportingDialog::OnSetup() {
  SetupDialog dialog(this);
  dialog.exec();
  model_.AfterSetup();
  ShowModel();
}

void ReportingDialog::OnInvoice() {
  DocumentOptions options;
  // The invoiced records leave the handheld at once when it is docked.
  options.updateHandheld = [this] {
    SyncDialog sync(this, platform_, true);
    sync.exec();
  };
  documentStatus_->setText(
      QString::fromStdString(DocumentStatusText(CreateInvoice(model_, options))));
  ShowRows();
}

void ReportingDialog::OnReport() {
  ReportDialog dialog(model_.deviceName(), platform_, this);
  dialog.exec();
  model_.AfterReport();
  ShowModel();
}

void ReportingDialog::OnDetails() {
  const int row = model_.selectedRow();
  if (row < 0) return;
  DetailsDialog::ShowRecord(this, model_.store(), model_.rows()[static_cast<size_t>(row)].id,
                            model_.accounts().ComboText());
}

void ReportingDialog::OnHelp() { ShowHelp(kHelpMainWindow); }

void ReportingDialog::OnAbout() {
  AboutDialog about(this);
  about.exec();
}
