// The "Report Recorded Time" window over ReportDialogModel.
#include "documents/ui/report_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

#include "platform/ui/dialog_units.h"
#include "platform/ui/first_focus.h"
#include "sync/ui/sync_dialog.h"

namespace {

QLineEdit* ReadOnly(QWidget* parent, const char* id, int x, int y) {
  auto* edit = Place(new QLineEdit(parent), id, x, y, 50, 12);
  edit->setReadOnly(true);
  edit->setAlignment(Qt::AlignRight);
  return edit;
}

}  // namespace

ReportDialog::ReportDialog(const std::string& deviceName, CePlatform& platform, QWidget* parent)
    : QDialog(parent), platform_(platform), model_(deviceName) {
  setObjectName("137");
  setWindowTitle("Report Recorded Time");
  // Below the template's controls, two lines say where the report and its
  // PDF went.
  setFixedSize(Dx(342), Dy(116));

  // The programs' font is wider and taller than the one the template was
  // laid out for: the buttons are wider (and "1/2 Month", two units left of
  // the others there, is in line with them), the labels taller, and "Date
  // Range" pushes its list a little to the right.
  Place(new QGroupBox("Duration", this), nullptr, 7, 4, 64, 83);
  oneWeek_ = Place(new QRadioButton("1 Week", this), "1008", 12, 17, 58, 10);
  twoWeeks_ = Place(new QRadioButton("2 Weeks", this), "1009", 12, 33, 58, 10);
  oneMonth_ = Place(new QRadioButton("1 Month", this), "1011", 12, 49, 58, 10);
  halfMonth_ = Place(new QRadioButton("1/2 Month", this), "1010", 12, 65, 58, 10);

  Place(new QLabel("Starting", this), nullptr, 72, 8, 41, 10)
      ->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  startDay_ = Place(new QComboBox(this), "1013", 115, 7, 62, 12);
  for (int day = 0; day < 7; ++day) startDay_->addItem(DayText(day));
  startDate1_ = Place(new QSpinBox(this), "1015", 181, 7, 34, 12);
  startDate2_ = Place(new QSpinBox(this), "1016", 219, 7, 34, 12);

  Place(new QLabel("Date Range", this), nullptr, 72, 27, 49, 10)
      ->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  ranges_ = Place(new QComboBox(this), "1003", 122, 26, 131, 12);
  setInvoiced_ =
      Place(new QCheckBox("Set Invoiced flag when reported", this), "1061", 115, 45, 145, 10);
  create_ = Place(new QPushButton("&Create", this), "1065", 115, 62, 50, 14);

  Place(new QLabel("Total Time", this), nullptr, 262, 27, 50, 10);
  totalTime_ = ReadOnly(this, "1004", 262, 38);
  Place(new QLabel("Report Total", this), nullptr, 262, 54, 50, 10);
  totalAmount_ = ReadOnly(this, "1024", 262, 65);
  status_ = Place(new QLabel(this), "documentStatus", 7, 92, 328, 20);
  status_->setTextFormat(Qt::PlainText);
  status_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* close = Place(new QPushButton("Close", this), "1", 285, 7, 50, 14);
  close->setDefault(true);

  const std::pair<QRadioButton*, PeriodKind> kinds[] = {{oneWeek_, PeriodKind::OneWeek},
                                                        {twoWeeks_, PeriodKind::TwoWeeks},
                                                        {oneMonth_, PeriodKind::OneMonth},
                                                        {halfMonth_, PeriodKind::HalfMonth}};
  for (auto [button, kind] : kinds) {
    connect(button, &QRadioButton::clicked, this, [this, kind = kind] {
      model_.ClickPeriod(kind);
      ShowModel();
    });
  }
  connect(startDay_, &QComboBox::activated, this,
          [this](int index) { model_.SelectStartDay(index); });
  connect(startDate1_, &QSpinBox::valueChanged, this, [this](int value) {
    model_.SetStartDate1(value);
    ShowModel();
  });
  connect(startDate2_, &QSpinBox::valueChanged, this, [this](int value) {
    model_.SetStartDate2(value);
    ShowModel();
  });
  connect(ranges_, &QComboBox::activated, this, [this](int index) {
    model_.SelectRange(index);
    ShowModel();
  });
  connect(setInvoiced_, &QCheckBox::toggled, this,
          [this](bool checked) { model_.SetSetInvoiced(checked); });
  connect(create_, &QPushButton::clicked, this, &ReportDialog::OnCreate);
  connect(close, &QPushButton::clicked, this, &ReportDialog::accept);

  QApplication::setOverrideCursor(Qt::WaitCursor);
  model_.Open();
  QApplication::restoreOverrideCursor();
  ShowModel();
}

void ReportDialog::ShowModel() {
  const QSignalBlocker blockDay(startDay_), blockDate1(startDate1_), blockDate2(startDate2_),
      blockRanges(ranges_), blockBox(setInvoiced_);
  // Radio buttons in one group are exclusive; "none checked" needs that off
  // for a moment.
  const std::optional<PeriodKind> kind = model_.checkedKind();
  for (QRadioButton* button : {oneWeek_, twoWeeks_, oneMonth_, halfMonth_}) {
    button->setAutoExclusive(false);
  }
  oneWeek_->setChecked(kind == PeriodKind::OneWeek);
  twoWeeks_->setChecked(kind == PeriodKind::TwoWeeks);
  oneMonth_->setChecked(kind == PeriodKind::OneMonth);
  halfMonth_->setChecked(kind == PeriodKind::HalfMonth);
  for (QRadioButton* button : {oneWeek_, twoWeeks_, oneMonth_, halfMonth_}) {
    button->setAutoExclusive(true);
  }
  TabToCheckedButton({oneWeek_, twoWeeks_, oneMonth_, halfMonth_});

  const ReportControlState& controls = model_.controls();
  startDay_->setCurrentIndex(model_.startDay());
  startDay_->setEnabled(controls.dayListEnabled);
  startDate1_->setRange(controls.date1Min, controls.date1Max);
  startDate1_->setValue(model_.startDate1());
  startDate1_->setEnabled(controls.date1Enabled);
  startDate2_->setRange(controls.date2Min, controls.date2Max);
  startDate2_->setValue(model_.startDate2());
  startDate2_->setEnabled(controls.date2Enabled);

  ranges_->clear();
  for (const std::string& label : model_.rangeLabels())
    ranges_->addItem(QString::fromStdString(label));
  ranges_->setCurrentIndex(model_.selectedRange());
  setInvoiced_->setChecked(model_.setInvoiced());
  create_->setEnabled(model_.canCreate());
  totalTime_->setText(QString::fromStdString(model_.totalTimeText()));
  totalAmount_->setText(QString::fromStdString(model_.totalAmountText()));
}

void ReportDialog::OnCreate() {
  DocumentOptions options;
  // The freshly invoiced records leave the handheld at once when it is docked.
  options.updateHandheld = [this] {
    SyncDialog sync(this, platform_, true);
    sync.exec();
  };
  status_->setText(QString::fromStdString(DocumentStatusText(model_.Create(options))));
}

void ReportDialog::accept() {
  model_.Save();
  QDialog::accept();
}
