// Every window and message box at the keyboard, on the offscreen platform:
// mnemonics and shortcuts each have one owner, F1 opens the help once, Tab
// and Shift+Tab visit every enabled control in reading order, a radio group
// at its checked button.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QShortcut>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <functional>
#include <map>
#include <memory>

#include "app/ui/about_dialog.h"
#include "app/ui/reporting_dialog.h"
#include "documents/document_fixture.h"
#include "documents/ui/report_dialog.h"
#include "emulator/emulated_handheld.h"
#include "maint/ui/maintenance_dialog.h"
#include "platform/ui/qt_ui_services.h"
#include "reporting/details_model.h"
#include "reporting/ui/details_dialog.h"
#include "settings/ui/account_prefs_dialog.h"
#include "settings/ui/rate_dialog.h"
#include "settings/ui/setup_dialog.h"
#include "support/ui/controls.h"
#include "sync/ui/password_dialog.h"
#include "sync/ui/sync_dialog.h"

using namespace document_test;

// Takes the place of the desktop's browser for the help page's address.
class HelpCatcher : public QObject {
  Q_OBJECT

 public:
  HelpCatcher() { QDesktopServices::setUrlHandler("file", this, "Open"); }
  ~HelpCatcher() override { QDesktopServices::unsetUrlHandler("file"); }
  int opened = 0;

 public slots:
  void Open(const QUrl&) { ++opened; }
};

namespace {

// Qt's warnings while a test runs; an ambiguous shortcut is one of them.
QStringList warnings;

void KeepWarning(QtMsgType type, const QMessageLogContext&, const QString& text) {
  if (type != QtDebugMsg && type != QtInfoMsg) warnings << text;
}

// The letter Alt presses for a text: the one after a single '&'.
QChar Mnemonic(const QString& text) {
  for (qsizetype at = 0; at + 1 < text.size(); ++at) {
    if (text[at] != '&') continue;
    if (text[at + 1] != '&') return text[at + 1].toLower();
    ++at;
  }
  return {};
}

// A control as the tables name it: its id, else its text without '&' (the
// buttons of message and button boxes), else its parent's (a spin's edit).
QString Name(const QWidget* control) {
  if (!control->objectName().isEmpty() && !control->objectName().startsWith("qt_")) {
    return control->objectName();
  }
  if (auto* button = qobject_cast<const QAbstractButton*>(control)) {
    return QString(button->text()).remove('&');
  }
  return control->parentWidget() ? Name(control->parentWidget()) : QString();
}

// Every key of window and who owns it: Alt+letter for each mnemonic of a
// control shown, and the keys of its shortcuts and of the actions of the
// window and of its controls' menus.
std::multimap<QString, QString> Keys(QWidget& window) {
  std::multimap<QString, QString> keys;
  const auto add = [&keys](const QString& text, const QString& owner) {
    const QChar letter = Mnemonic(text);
    if (!letter.isNull()) keys.emplace(QString("Alt+") + letter, owner);
  };
  for (QWidget* control : window.findChildren<QWidget*>()) {
    if (!control->isVisibleTo(&window)) continue;
    if (auto* button = qobject_cast<QAbstractButton*>(control)) add(button->text(), Name(button));
    if (auto* box = qobject_cast<QGroupBox*>(control)) add(box->title(), box->title());
    if (auto* label = qobject_cast<QLabel*>(control); label && label->buddy()) {
      add(label->text(), label->text());
    }
  }
  // An action in the window and in a menu is one owner.
  const QList<QAction*> own = window.actions();
  QSet<QAction*> actions(own.begin(), own.end());
  for (QMenu* menu : window.findChildren<QMenu*>()) {
    for (QAction* action : menu->actions()) actions.insert(action);
  }
  for (QAction* action : actions) {
    if (!action->shortcut().isEmpty()) {
      keys.emplace(action->shortcut().toString(), action->text());
    }
  }
  for (QShortcut* shortcut : window.findChildren<QShortcut*>()) {
    keys.emplace(shortcut->key().toString(), "a shortcut");
  }
  return keys;
}

// The controls Tab visits from the focus, until it comes back; Shift+Tab
// with backwards.
QStringList Walk(QWidget& window, bool backwards) {
  QStringList names;
  QWidget* start = QApplication::focusWidget();
  if (start == nullptr) return names;
  QWidget* at = start;
  for (int step = 0; step < 64; ++step) {
    names << Name(at);
    QTest::keyClick(at, backwards ? Qt::Key_Backtab : Qt::Key_Tab,
                    backwards ? Qt::ShiftModifier : Qt::NoModifier);
    at = QApplication::focusWidget();
    if (at == nullptr || at == start || !window.isAncestorOf(at)) break;
  }
  return names;
}

// The walk a table expects of window: its ids in reading order, without the
// controls disabled now; "a|b|c" is a radio group, visited at its checked
// button (the first when none is).
QStringList Expected(QWidget& window, const std::vector<const char*>& ids) {
  QStringList names;
  for (const char* id : ids) {
    const QStringList group = QString(id).split('|');
    QString stop = group.first();
    for (const QString& member : group) {
      auto* radio = window.findChild<QRadioButton*>(member);
      if (radio != nullptr && radio->isChecked()) stop = member;
    }
    auto* control = window.findChild<QWidget*>(stop);
    if (control == nullptr || control->isEnabled()) names << stop;
  }
  return names;
}

struct WindowCase {
  const char* name;
  std::function<std::unique_ptr<QWidget>(DocumentFixture&, EmulatedHandheld&)> make;
  std::vector<const char*> tabOrder;  // empty: not walked
  bool f1;                            // whether F1 opens the help
};

std::unique_ptr<QWidget> MainWindow(EmulatedHandheld& handheld) {
  auto window = std::make_unique<ReportingDialog>(handheld);
  window->StartUp();
  return window;
}

const WindowCase kWindows[] = {
    {"main window",
     [](DocumentFixture&, EmulatedHandheld& handheld) { return MainWindow(handheld); },
     {"1040", "1003", "1001", "1002", "1045", "1000", "1023", "1004", "1024", "1", "9", "1046",
      "1032", "1006", "1022", "1025", "1026", "1064"},
     true},
    {"account preferences",
     [](DocumentFixture&, EmulatedHandheld&) {
       return std::make_unique<AccountPrefsDialog>(DocumentFixture::kObrien);
     },
     {"1007|1008|1009|1011|1010", "1013", "1015", "1016", "1058", "1018", "1019|1020|1021", "1059",
      "1027", "1028", "1029", "1030", "1031", "1", "2", "9"},
     false},
    {"rate",
     [](DocumentFixture&, EmulatedHandheld&) {
       return std::make_unique<RateDialog>(DocumentFixture::kObrien, "All");
     },
     {"1023", "1", "2"},
     false},
    {"setup",
     [](DocumentFixture&, EmulatedHandheld&) { return std::make_unique<SetupDialog>(); },
     {"1033", "1034", "1035", "1036", "1037", "1038", "1039", "1069", "1070", "1", "2", "9"},
     false},
    {"details",
     [](DocumentFixture&, EmulatedHandheld&) {
       RecordStore store(ReadStoreFolders());
       store.SetDeviceName("Pocket_PC");
       store.Load();
       const int32_t id = store.timeRecords().front().id;
       const DetailsModel details(store, id, DocumentFixture::kObrien);
       return std::make_unique<DetailsDialog>(
           nullptr, details.dateText(), details.accountItemText(), details.notes(), store, id);
     },
     {"1052", "1051", "1", "9"},
     false},
    {"report",
     [](DocumentFixture&, EmulatedHandheld& handheld) {
       return std::make_unique<ReportDialog>("Pocket_PC", handheld);
     },
     {"1008|1009|1011|1010", "1013", "1015", "1016", "1003", "1061", "1065", "1004", "1024", "1"},
     false},
    {"synchronization",
     [](DocumentFixture& env, EmulatedHandheld&) -> std::unique_ptr<QWidget> {
       // One that found no handheld, as it stays open.
       static std::unique_ptr<EmulatedHandheld> nowhere;
       nowhere = std::make_unique<EmulatedHandheld>(env.dir.File("empty-dock.hhd"));
       auto dialog = std::make_unique<SyncDialog>(nullptr, *nowhere, false);
       dialog->show();
       while (!dialog->hasRun()) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
       return dialog;
     },
     {"1"},
     false},
    {"maintenance",
     [](DocumentFixture&, EmulatedHandheld&) { return std::make_unique<MaintenanceDialog>(); },
     {"1000", "1003", "1004", "1001", "1002", "1005", "1006", "2", "9"},
     true},
    {"about",
     [](DocumentFixture&, EmulatedHandheld&) { return std::make_unique<AboutDialog>(); },
     {"1"},
     false},
    {"password",
     [](DocumentFixture&, EmulatedHandheld&) {
       return std::make_unique<PasswordDialog>(nullptr, "Pocket PC");
     },
     {"passwordEntry", "OK", "Cancel"},
     false},
    {"question",
     [](DocumentFixture&, EmulatedHandheld&) -> std::unique_ptr<QWidget> {
       return MakeMessageBox(nullptr, "Delete it?", "Delete Warning", MessageButtons::YesNo,
                             MessageIcon::Warning);
     },
     {},
     false},
    {"message",
     [](DocumentFixture&, EmulatedHandheld&) -> std::unique_ptr<QWidget> {
       return MakeMessageBox(nullptr, "Done.", "Horalog", MessageButtons::OkCancel);
     },
     {},
     false},
};

}  // namespace

TEST(EveryWindow, OneOwnerPerKeyAndTabVisitsEveryControlInReadingOrder) {
  DocumentFixture env;
  EmulatedHandheld handheld(env.dockPath());
  HelpCatcher help;
  warnings.clear();
  const QtMessageHandler previous = qInstallMessageHandler(KeepWarning);
  for (const WindowCase& c : kWindows) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<QWidget> window = c.make(env, handheld);
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));

    const std::multimap<QString, QString> keys = Keys(*window);
    for (auto key = keys.begin(); key != keys.end(); key = keys.upper_bound(key->first)) {
      QStringList owners;
      for (auto [at, end] = keys.equal_range(key->first); at != end; ++at) owners << at->second;
      EXPECT_EQ(owners.size(), 1) << key->first.toStdString() << ": "
                                  << owners.join(", ").toStdString();
    }

    // F1 opens the help once where the window offers it, and is never
    // ambiguous.
    const int opened = help.opened;
    QTest::keyClick(window.get(), Qt::Key_F1);
    EXPECT_EQ(help.opened - opened, c.f1 ? 1 : 0);

    if (!c.tabOrder.empty()) {
      QStringList expected = Expected(*window, c.tabOrder);
      QStringList forward = Walk(*window, false);
      // From wherever the window put the focus first.
      const qsizetype start = forward.indexOf(expected.first());
      if (start > 0) forward = forward.mid(start) + forward.mid(0, start);
      EXPECT_EQ(forward.join(' ').toStdString(), expected.join(' ').toStdString());
      QStringList backward = Walk(*window, true);
      std::reverse(backward.begin(), backward.end());
      const qsizetype end = backward.indexOf(expected.first());
      if (end > 0) backward = backward.mid(end) + backward.mid(0, end);
      EXPECT_EQ(backward.join(' ').toStdString(), expected.join(' ').toStdString());
      // Every enabled control that takes the focus is among them.
      for (QWidget* control : window->findChildren<QWidget*>()) {
        if (control->isVisibleTo(window.get()) && control->isEnabled() &&
            (control->focusPolicy() & Qt::TabFocus) != 0 && control->focusProxy() == nullptr) {
          EXPECT_TRUE(forward.contains(Name(control))) << Name(control).toStdString();
        }
        // A read-only text that Tab stops at shows the focus with its caret.
        if (auto* text = qobject_cast<QPlainTextEdit*>(control);
            text != nullptr && forward.contains(Name(control))) {
          EXPECT_TRUE(text->textInteractionFlags() & Qt::TextSelectableByKeyboard)
              << Name(control).toStdString();
        }
      }
    }
    window->close();
  }
  qInstallMessageHandler(previous);
  for (const QString& warning : warnings) {
    EXPECT_FALSE(warning.contains("Ambiguous")) << warning.toStdString();
  }
}

// A question whose Yes deletes data keeps it on a stray Enter.
TEST(EveryWindow, QuestionsDefaultToNo) {
  const std::unique_ptr<QMessageBox> box = MakeMessageBox(
      nullptr, "Delete it?", "Delete Warning", MessageButtons::YesNo, MessageIcon::Warning);
  EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::No));
  QTimer::singleShot(0, box.get(), [&box] {
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : box.get(),
                    Qt::Key_Return);
  });
  EXPECT_EQ(box->exec(), QMessageBox::No);
}

#include "every_window_test.moc"
