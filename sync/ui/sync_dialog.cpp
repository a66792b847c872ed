// The small window through which every contact with the handheld happens.
#include "sync/ui/sync_dialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include "platform/ui/dialog_units.h"
#include "platform/ui/qt_ui_services.h"
#include "sync/ui/password_dialog.h"

SyncDialog::SyncDialog(QWidget* owner, CePlatform& platform, bool updateOnly)
    : QDialog(owner), procedure_(platform, *this, updateOnly) {
  setObjectName("133");
  setWindowTitle("Synchronization");
  setFixedSize(Dx(220), Dy(117));

  close_ = new QPushButton("Close", this);
  close_->setObjectName("1");
  close_->setGeometry(Dx(163), Dy(7), Dx(50), Dy(14));
  close_->setDefault(true);
  connect(close_, &QPushButton::clicked, this, [this] { done(1); });

  status_ = new QLabel(this);
  status_->setObjectName("1041");
  status_->setGeometry(Dx(7), Dy(7), Dx(146), Dy(70));
  status_->setWordWrap(true);
  status_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  // Connecting may take seconds (a slow handheld waits up to its timeout):
  // the window says what it waits for from its first paint, until the
  // procedure's own texts replace it.
  status_->setText(kConnectingText);

  // As wide as the bar below: the programs' font does not fit the words into
  // the template's width.
  auto* label = new QLabel("Percent Complete", this);
  label->setGeometry(Dx(7), Dy(84), Dx(206), Dy(8) + 4);

  progress_ = new QProgressBar(this);
  progress_->setObjectName("1042");
  progress_->setGeometry(Dx(7), Dy(96), Dx(206), Dy(14));
  progress_->setRange(0, 100);
  progress_->setValue(0);
  progress_->setTextVisible(false);

  // Close stays disabled until the procedure has run; it runs once, on the
  // first tick after the window shows.
  close_->setEnabled(false);
  timer_ = new QTimer(this);
  timer_->setInterval(100);
  connect(timer_, &QTimer::timeout, this, &SyncDialog::RunProcedure);
  timer_->start();
}

SyncDialog::~SyncDialog() = default;

void SyncDialog::RunProcedure() {
  timer_->stop();
  if (running_ || hasRun_) return;
  running_ = true;
  outcome_ = procedure_.Run();
  running_ = false;
  hasRun_ = true;
  close_->setEnabled(true);
  // It was disabled when the window opened, so nothing had the focus.
  close_->setFocus();
  if (outcome_ == SyncProcedure::Outcome::Finished) {
    done(1);
  } else if (cancelPending_) {
    QDialog::reject();
  }
}

void SyncDialog::SetStatus(const std::string& text) {
  status_->setText(QString::fromStdString(text));
  status_->repaint();
}

void SyncDialog::SetProgress(int position) { progress_->setValue(position); }

void SyncDialog::SetCaption(const std::string& text) {
  setWindowTitle(QString::fromStdString(text));
}

void SyncDialog::ShowMessage(const std::string& text, const std::string& caption) {
  ShowMessageBox(this, text, caption, MessageButtons::Ok);
}

void SyncDialog::PumpMessages() { PumpQtMessages(); }

void SyncDialog::Beep() { QApplication::beep(); }

bool SyncDialog::AskPassword(const std::string& name, std::string* password) {
  return PasswordDialog::Ask(this, name, password);
}

void SyncDialog::reject() {
  // The procedure always runs to its end: a cancel (Escape, the close box)
  // that arrives meanwhile takes effect only afterwards.
  if (running_ || !hasRun_) {
    cancelPending_ = true;
    return;
  }
  QDialog::reject();
}

void SyncDialog::closeEvent(QCloseEvent* event) {
  if (running_ || !hasRun_) {
    cancelPending_ = true;
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}
