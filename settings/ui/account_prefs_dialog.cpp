// The "Account Preferences" window over AccountPrefsModel.
#include "settings/ui/account_prefs_dialog.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStyle>
#include <algorithm>

#include "platform/ui/dialog_units.h"
#include "platform/ui/first_focus.h"
#include "platform/ui/help.h"

namespace {

// A spin with its edit: the spin carries the spin's number, its edit the
// edit's, so each is found as the template numbers it. Typed positions
// outside the range are clamped rather than thrown away.
QSpinBox* DateSpin(QWidget* parent, const char* spinId, const char* editId) {
  auto* spin = new QSpinBox(parent);
  spin->setObjectName(spinId);
  spin->setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
  if (auto* edit = spin->findChild<QLineEdit*>()) edit->setObjectName(editId);
  return spin;
}

// A radio of a choice: its id, its text, the value it stands for and its row.
template <typename Value>
struct Radio {
  const char* id;
  const char* text;
  Value value;
  int y;
};

constexpr Radio<PeriodKind> kPeriodRadios[] = {
    {"1007", "All", PeriodKind::All, 19},
    {"1008", "1 Week", PeriodKind::OneWeek, 31},
    {"1009", "2 Weeks", PeriodKind::TwoWeeks, 43},
    {"1011", "1 Month", PeriodKind::OneMonth, 55},
    {"1010", "1/2 Month", PeriodKind::HalfMonth, 67},
};

constexpr Radio<RoundMode> kRoundRadios[] = {
    {"1019", "Down", RoundMode::Down, 31},
    {"1020", "To Nearest", RoundMode::Nearest, 43},
    {"1021", "Up", RoundMode::Up, 55},
};

// The radios in a column at x, each width wide, in one group that knows each
// by its value.
template <typename Value, size_t N>
QButtonGroup* RadioColumn(QWidget* parent, const Radio<Value> (&radios)[N], int x, int width) {
  auto* group = new QButtonGroup(parent);
  for (const Radio<Value>& radio : radios) {
    auto* button = Place(new QRadioButton(radio.text, parent), radio.id, x, radio.y, width, 10);
    group->addButton(button, static_cast<int>(radio.value));
  }
  return group;
}

}  // namespace

struct AccountPrefsDialog::Buttons {
  QPushButton* durationDefault;
  QPushButton* roundingDefault;
  QPushButton* ok;
  QPushButton* cancel;
  QPushButton* help;
};

AccountPrefsDialog::AccountPrefsDialog(const std::string& account, QWidget* parent)
    : QDialog(parent), model_(account) {
  setObjectName("129");
  setWindowTitle("Account Preferences");
  setFixedSize(Dx(320), Dy(196));

  Buttons buttons{};
  buttons.durationDefault = MakeDurationGroup();
  buttons.roundingDefault = MakeTimePeriodsGroup();
  MakeAddressGroup();
  const QLineEdit* name = MakeAccountName(account);
  MakeDialogButtons(name, &buttons);

  ShowModel();

  // Connected after the model is shown, so showing it feeds nothing back.
  ConnectControls();
  ConnectButtons(buttons);
}

// The period radios, its start day and dates, and its Make Default button.
QPushButton* AccountPrefsDialog::MakeDurationGroup() {
  Place(new QGroupBox("Duration", this), nullptr, 7, 7, 140, 94);
  periods_ = RadioColumn(this, kPeriodRadios, 14, 55);
  Place(new QLabel("Starting", this), nullptr, 76, 19, 60, 8);
  day_ = Place(new QComboBox(this), "1013", 76, 29, 64, 12);
  for (int day = 0; day < 7; ++day) day_->addItem(DayText(day));
  date1_ = Place(DateSpin(this, "1014", "1015"), nullptr, 76, 47, 36, 12);
  date2_ = Place(DateSpin(this, "1017", "1016"), nullptr, 76, 63, 36, 12);
  return Place(new QPushButton("Make Default", this), "1058", 76, 81, 64, 14);
}

// The rounding increments and directions, and its Make Default button.
QPushButton* AccountPrefsDialog::MakeTimePeriodsGroup() {
  Place(new QGroupBox("Time Periods", this), nullptr, 153, 7, 160, 94);
  increments_ = Place(new QListWidget(this), "1018", 160, 19, 82, 76);
  increments_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  for (const RoundingIncrement& increment : kRoundingIncrements) {
    increments_->addItem(increment.listText);
  }
  Place(new QLabel("Round", this), nullptr, 248, 19, 58, 8);
  rounds_ = RadioColumn(this, kRoundRadios, 248, 60);
  return Place(new QPushButton("Make Default", this), "1059", 248, 81, 58, 14);
}

void AccountPrefsDialog::MakeAddressGroup() {
  Place(new QGroupBox("Address", this), nullptr, 7, 106, 200, 83);
  const char* addressIds[] = {"1027", "1028", "1029", "1030"};
  for (size_t line = 0; line < addresses_.size(); ++line) {
    addresses_[line] = Place(new QLineEdit(this), addressIds[line], 14,
                             118 + 16 * static_cast<int>(line), 186, 12);
    addresses_[line]->setMaxLength(static_cast<int>(AccountPrefsModel::kAddressChars));
  }
}

// A name has up to 31 characters and shows whole: the field grows to 31
// average letters or to the name itself, whichever is wider, and the window
// with it.
QLineEdit* AccountPrefsDialog::MakeAccountName(const std::string& account) {
  Place(new QLabel("Account", this), nullptr, 214, 108, 99, 8);
  auto* name =
      Place(new QLineEdit(QString::fromStdString(account), this), "1031", 214, 118, 99, 12);
  name->setReadOnly(true);
  name->setCursorPosition(0);
  const QFontMetrics metrics = name->fontMetrics();
  const int frame = 2 * name->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, name) +
                    name->textMargins().left() + name->textMargins().right() + 8;
  const int wider = std::max(metrics.horizontalAdvance(QString(31, 'x')),
                             metrics.horizontalAdvance(name->text())) +
                    frame - name->width();
  if (wider > 0) {
    name->resize(name->width() + wider, name->height());
    setFixedSize(width() + wider, height());
  }
  return name;
}

// OK, Cancel and Help below the name, keeping to the name field's right edge.
void AccountPrefsDialog::MakeDialogButtons(const QLineEdit* name, Buttons* buttons) {
  auto* ok = Place(new QPushButton("OK", this), "1", 263, 139, 50, 14);
  ok->setDefault(true);
  auto* cancel = Place(new QPushButton("Cancel", this), "2", 263, 156, 50, 14);
  auto* help = Place(new QPushButton("&Help", this), "9", 263, 173, 50, 14);
  for (QPushButton* button : {ok, cancel, help}) {
    button->move(name->geometry().right() + 1 - button->width(), button->y());
  }
  buttons->ok = ok;
  buttons->cancel = cancel;
  buttons->help = help;
}

void AccountPrefsDialog::ConnectControls() {
  connect(periods_, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
    if (checked) ApplyPeriod(static_cast<PeriodKind>(id));
    TabToCheckedButton(periods_->buttons());
  });
  connect(rounds_, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
    if (checked) model_.SelectRound(static_cast<RoundMode>(id));
    TabToCheckedButton(rounds_->buttons());
  });
  connect(day_, &QComboBox::currentTextChanged, this,
          [this](const QString& text) { model_.SelectStartDay(text.toStdString()); });
  connect(date1_, &QSpinBox::valueChanged, this,
          [this](int value) { model_.SetStartDate1(value); });
  connect(date2_, &QSpinBox::valueChanged, this,
          [this](int value) { model_.SetStartDate2(value); });
  connect(increments_, &QListWidget::itemSelectionChanged, this, [this] {
    const QList<QListWidgetItem*> selected = increments_->selectedItems();
    model_.SelectIncrement(selected.isEmpty() ? -1 : increments_->row(selected.first()));
  });
  for (size_t line = 0; line < addresses_.size(); ++line) {
    connect(addresses_[line], &QLineEdit::textChanged, this,
            [this, line](const QString& text) { model_.SetAddress(line, text.toStdString()); });
  }
}

void AccountPrefsDialog::ConnectButtons(const Buttons& buttons) {
  connect(buttons.durationDefault, &QPushButton::clicked, this, [this] {
    TakeSpinTexts();
    model_.SaveDurationDefaults();
  });
  connect(buttons.roundingDefault, &QPushButton::clicked, this, [this] {
    TakeSpinTexts();
    model_.SaveRoundingDefaults();
  });
  connect(buttons.ok, &QPushButton::clicked, this, &AccountPrefsDialog::accept);
  connect(buttons.cancel, &QPushButton::clicked, this, &AccountPrefsDialog::reject);
  connect(buttons.help, &QPushButton::clicked, this, [] { ShowHelp(kHelpAccountPrefs); });
}

void AccountPrefsDialog::ShowModel() {
  const AccountPrefs& prefs = model_.prefs();
  periods_->button(static_cast<int>(prefs.period))->setChecked(true);
  rounds_->button(static_cast<int>(prefs.round))->setChecked(true);
  TabToCheckedButton(periods_->buttons());
  TabToCheckedButton(rounds_->buttons());
  day_->setCurrentText(QString::fromStdString(prefs.startDay));
  date2_->setRange(AccountPrefsModel::kDate2Min, AccountPrefsModel::kDate2Max);
  date2_->setValue(prefs.startDate2);
  ApplyPeriod(prefs.period);
  date1_->setValue(prefs.startDate1);
  if (prefs.incrementPosition >= 0) increments_->setCurrentRow(prefs.incrementPosition);
  for (size_t line = 0; line < addresses_.size(); ++line) {
    addresses_[line]->setText(QString::fromStdString(prefs.addresses[line]));
  }
}

void AccountPrefsDialog::ApplyPeriod(PeriodKind period) {
  model_.SelectPeriod(period);
  date1_->setRange(AccountPrefsModel::kDate1Min, model_.date1Max());
  const StartEnabling enabling = model_.enabling();
  day_->setEnabled(enabling.day);
  date1_->setEnabled(enabling.date1);
  date2_->setEnabled(enabling.date2);
}

void AccountPrefsDialog::TakeSpinTexts() {
  // A date still being typed counts as the spin would settle it on leaving
  // the edit (clamped into its range).
  date1_->interpretText();
  date2_->interpretText();
}

void AccountPrefsDialog::accept() {
  TakeSpinTexts();
  model_.Save();
  QDialog::accept();
}
