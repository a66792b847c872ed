// The synchronization dialog on the offscreen platform.
#include "sync/ui/sync_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include "emulator/emulated_handheld.h"
#include "support/handheld_fixture.h"
#include "support/ui/controls.h"
#include "sync/ui/password_dialog.h"

TEST(SyncDialog, SuccessClosesItselfWithTheHandheldNamed) {
  HandheldFixture env;
  ASSERT_TRUE(env.image.PutAccount(1, u"Smith").ok());
  EmulatedHandheld handheld(env.dockPath());
  QWidget owner;
  SyncDialog dialog(&owner, handheld, false);
  EXPECT_EQ(dialog.windowTitle(), "Synchronization");
  EXPECT_FALSE(Control<QPushButton>(dialog, "1")->isEnabled());
  EXPECT_EQ(Control<QProgressBar>(dialog, "1042")->value(), 0);
  // Before the procedure has said anything, the window says what it waits for.
  EXPECT_EQ(Control<QLabel>(dialog, "1041")->text(), "Connecting to the mobile device\u2026");
  const int result = dialog.exec();  // returns only when the dialog closed itself
  EXPECT_EQ(result, 1);
  EXPECT_TRUE(dialog.hasRun());
  EXPECT_EQ(dialog.deviceName(), "Pocket_PC");
  EXPECT_EQ(dialog.windowTitle(), "Synchronization of Pocket PC (Jane Doe)");
  EXPECT_EQ(Control<QLabel>(dialog, "1041")->text(), "Synchronization completed");
  EXPECT_EQ(Control<QProgressBar>(dialog, "1042")->value(), 100);
  EXPECT_EQ(env.ui.messages.size(), 0u);
}

TEST(SyncDialog, CaptionWithoutOwnerAndUpdateOnlyWords) {
  HandheldFixture env(u"Pocket PC", std::nullopt);
  EmulatedHandheld handheld(env.dockPath());
  SyncDialog dialog(nullptr, handheld, true);
  EXPECT_EQ(dialog.exec(), 1);
  EXPECT_EQ(dialog.windowTitle(), "Synchronization of Pocket PC");
  EXPECT_EQ(Control<QLabel>(dialog, "1041")->text(), "Synchronization Completed");
}

TEST(SyncDialog, FailedConnectionStaysOpenWithCloseEnabled) {
  HandheldFixture env;
  EmulatedHandheld handheld(env.dir.File("empty-dock.hhd"));
  SyncDialog dialog(nullptr, handheld, false);
  bool stayedOpen = false;
  bool closeEnabled = false;
  QString status;
  // Once the procedure has run, look at the dialog, then press Close.
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (!dialog.hasRun()) return;
    poll.stop();
    stayedOpen = dialog.isVisible();
    closeEnabled = Control<QPushButton>(dialog, "1")->isEnabled();
    status = Control<QLabel>(dialog, "1041")->text();
    dialog.reject();  // Escape, now that the procedure has ended
    if (dialog.isVisible()) Control<QPushButton>(dialog, "1")->click();
  });
  poll.start(20);
  dialog.exec();
  EXPECT_TRUE(stayedOpen);
  EXPECT_TRUE(closeEnabled);
  EXPECT_EQ(status.toStdString(),
            "Unable to connect to mobile device.  Verify device is turned on and docked and "
            "SynCE's connection manager (dccm) is running, then try connecting again.");
  EXPECT_EQ(dialog.deviceName(), "");
  EXPECT_EQ(dialog.windowTitle(), "Synchronization");
}

TEST(PasswordDialog, MaskedEntryGivesItsTextOnOkAndNothingOnCancel) {
  for (const bool ok : {true, false}) {
    QTimer::singleShot(0, [ok] {
      auto* dialog = qobject_cast<PasswordDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(dialog, nullptr);
      EXPECT_EQ(dialog->entry()->echoMode(), QLineEdit::Password);
      EXPECT_EQ(dialog->focusWidget(), dialog->entry());
      dialog->entry()->setText("s3cret pass");
      if (ok)
        dialog->accept();
      else
        dialog->reject();
    });
    std::string password = "unchanged";
    EXPECT_EQ(PasswordDialog::Ask(nullptr, "Pocket PC", &password), ok);
    EXPECT_EQ(password, ok ? "s3cret pass" : "unchanged");
  }
}
