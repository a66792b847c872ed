// The small window through which every contact with the handheld happens.
#pragma once

#include <QDialog>
#include <memory>

#include "sync/sync_procedure.h"
#include "sync/sync_view.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

class SyncDialog : public QDialog, public SyncView {
  Q_OBJECT

 public:
  // The status shown from the first paint until the procedure writes its own.
  static constexpr const char* kConnectingText = "Connecting to the mobile device\u2026";

  // The procedure runs by itself on the first timer tick after the dialog
  // shows; it closes itself after a beep when the procedure finished, and
  // stays open with Close enabled otherwise.
  SyncDialog(QWidget* owner, CePlatform& platform, bool updateOnly);
  ~SyncDialog() override;

  // After the dialog closed: the handheld just synchronized, "" when none.
  std::string deviceName() const { return procedure_.deviceName(); }
  // Set once the procedure has run.
  bool hasRun() const { return hasRun_; }
  SyncProcedure::Outcome outcome() const { return outcome_; }

  void SetStatus(const std::string& text) override;
  void SetProgress(int position) override;
  void SetCaption(const std::string& text) override;
  void ShowMessage(const std::string& text, const std::string& caption) override;
  void PumpMessages() override;
  void Beep() override;
  bool AskPassword(const std::string& name, std::string* password) override;

 public slots:
  void reject() override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void RunProcedure();

  SyncProcedure procedure_;
  QPushButton* close_;
  QLabel* status_;
  QProgressBar* progress_;
  QTimer* timer_;
  bool running_ = false;
  bool cancelPending_ = false;
  bool hasRun_ = false;
  SyncProcedure::Outcome outcome_ = SyncProcedure::Outcome::NotConnected;
};
