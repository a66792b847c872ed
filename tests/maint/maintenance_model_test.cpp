// The maintenance model on real stores in a temporary data folder, with
// second processes for a crashed writer, an unprivileged user and kestrune.
#include "maint/maintenance_model.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "platform/sqlite_connection.h"
#include "platform/sqlite_statement.h"
#include "store/statements.h"
#include "support/store_fixture.h"

namespace fs = std::filesystem;
using Texts = std::vector<std::string>;

namespace {

// Alpha: Acme (1) with records 11 to 15, 11 and 12 invoiced, items 101 and
// 102; beta corp (2) without records; another Acme (3) with record 31 and
// item 301. Every record has one span.
void MakeAlpha(StoreFixture& env) {
  std::vector<StoreStatement> alpha = {
      InsertAccountStatement(1, "Acme"),    InsertAccountStatement(2, "beta corp"),
      InsertAccountStatement(3, "Acme"),    InsertItemStatement(101, 1, "Design"),
      InsertItemStatement(102, 1, "Admin"), InsertItemStatement(301, 3, "Design")};
  for (int id : {11, 12, 13, 14, 15, 31}) {
    alpha.push_back(
        InsertTimeRecordStatement(id, PackDate(2003, 3, id - 10), id / 10, id / 10 * 100 + 1, "n"));
    alpha.push_back(InsertSpanStatement(id, 3600, 30));
  }
  alpha.push_back(MarkInvoicedStatement("03/15/03", 11));
  alpha.push_back(MarkInvoicedStatement("03/15/03", 12));
  env.Run(env.CreateStore("Alpha"), alpha);
}

// Alpha; beta with the account Zed; Zulu with the account Yew.
void MakeStores(StoreFixture& env, bool alpha = true) {
  if (alpha) MakeAlpha(env);
  env.Run(env.CreateStore("beta"), {InsertAccountStatement(7, "Zed")});
  env.Run(env.CreateStore("Zulu"), {InsertAccountStatement(8, "Yew")});
}

// The ids in a store: accounts, items, records, and the spans' records.
std::string Contents(const std::string& device) {
  RecordStore store(ReadStoreFolders());
  store.SetDeviceName(device);
  store.Load();
  std::string text = "accounts";
  for (const auto& a : store.accounts()) text += " " + std::to_string(a.id);
  text += " items";
  for (const auto& i : store.items()) text += " " + std::to_string(i.id);
  text += " records";
  for (const auto& r : store.timeRecords()) text += " " + std::to_string(r.id);
  text += " spans";
  for (const auto& s : store.timeSpans()) text += " " + std::to_string(s.parent);
  return text;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs body in a child process (as nobody when run as root); its exit code.
int RunInChild(const std::function<int()>& body, bool unprivileged) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (unprivileged && ::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
      ::_exit(90);
    }
    ::_exit(body());
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 99;
}

}  // namespace

TEST(MaintenanceModel, ListsStoresAccountsAndCounts) {
  StoreFixture env;
  MakeStores(env);
  std::ofstream(env.dataPath() + "/Old.MDB") << "x";  // opened as Old, it would be a new Old.mdb
  // Data folder and template folder in one: the template is a store like any other.
  fs::copy_file(env.TemplateDir() + "/HR_Template.mdb", env.dataPath() + "/HR_Template.mdb");
  WriteSetupString("ExecPath", env.dataPath());

  MaintenanceModel model;
  model.Open();
  EXPECT_EQ(model.devices().Texts(), (Texts{"Alpha", "beta", "HR_Template", "Zulu"}));
  EXPECT_EQ(model.store().storePath(), env.dataPath() + "/Alpha.mdb");
  EXPECT_EQ(model.accounts().Texts(), (Texts{"Acme", "Acme", "beta corp"}));
  EXPECT_EQ(model.status().Texts(), (Texts{"Date Records = 5", "Invoiced = 2"}));
  model.SelectAccount(1);  // the second Acme
  EXPECT_EQ(model.status().Texts(), (Texts{"Date Records = 1", "Invoiced = 0"}));
  model.SelectAccount(2);
  EXPECT_EQ(model.status().Texts(), (Texts{"Date Records = 0"}));
  model.SelectDevice(2);
  EXPECT_EQ(model.deviceName(), "HR_Template");
  EXPECT_EQ(model.accounts().count() + model.status().count(), 0);
  model.SelectDevice(1);
  EXPECT_EQ(model.accounts().Texts(), Texts{"Zed"});
  EXPECT_TRUE(env.ui.messages.empty());
}

TEST(MaintenanceModel, DeleteAccountTakesThatAccountByIdAndNothingElse) {
  StoreFixture env;
  MakeStores(env);
  const std::string alpha = env.dataPath() + "/Alpha.mdb";
  MaintenanceModel model;
  model.Open();
  model.SelectAccount(1);  // the second Acme

  // No leaves everything as it was.
  const std::string before = ReadAll(alpha);
  env.ui.answer = MessageAnswer::No;
  model.DeleteAccount();
  model.DeleteHandheld();
  EXPECT_EQ(ReadAll(alpha), before);
  EXPECT_EQ(model.devices().count(), 3);
  EXPECT_EQ(model.status().Texts(), (Texts{"Date Records = 1", "Invoiced = 0"}));
  ASSERT_EQ(env.ui.messages.size(), 2u);
  EXPECT_EQ(env.ui.messages[0].text, kDeleteAccountQuestion);
  EXPECT_EQ(env.ui.messages[1].text, kDeleteHandheldQuestion);
  for (const auto& question : env.ui.messages) {
    EXPECT_EQ(question.caption, "Delete Warning");
    EXPECT_EQ(question.buttons, MessageButtons::YesNo);
    EXPECT_EQ(question.icon, MessageIcon::Warning);
  }

  // A record synchronized after the list was shown goes with its account.
  env.Run(alpha, {InsertTimeRecordStatement(32, PackDate(2003, 4, 1), 3, 301, "late"),
                  InsertSpanStatement(32, 0, 5)});
  env.ui.answer = MessageAnswer::Yes;
  model.DeleteAccount();
  EXPECT_EQ(env.ui.messages.size(), 3u);  // the question alone
  EXPECT_EQ(Contents("Alpha"),
            "accounts 1 2 items 101 102 records 11 12 13 14 15 spans 11 12 13 14 15");
  EXPECT_EQ(model.accounts().Texts(), (Texts{"Acme", "beta corp"}));
  EXPECT_EQ(model.status().Texts(), (Texts{"Date Records = 5", "Invoiced = 2"}));

  // A statement that fails stops the deletion and says why; the deletion is
  // one transaction, so the account keeps everything, the first record's
  // span included.
  SqliteConnection connection;
  ASSERT_EQ(connection.Open(alpha, false), SQLITE_OK);
  ASSERT_EQ(connection.Exec("CREATE TRIGGER keep BEFORE DELETE ON hlgroup "
                            "BEGIN SELECT RAISE(ABORT, 'records are kept'); END"),
            SQLITE_OK);
  connection.Close();
  model.DeleteAccount();
  ASSERT_EQ(env.ui.messages.size(), 5u);
  EXPECT_EQ(env.ui.messages[4].caption, "Database Error");
  EXPECT_EQ(env.ui.messages[4].text,
            "The data of the account Acme could not be deleted: records are kept");
  EXPECT_EQ(Contents("Alpha"),
            "accounts 1 2 items 101 102 records 11 12 13 14 15 spans 11 12 13 14 15");
  EXPECT_EQ(model.status().Texts(), (Texts{"Date Records = 5", "Invoiced = 2"}));
}

TEST(MaintenanceModel, DeleteHandheldLeavesNoJournalAndSaysWhenItCannot) {
  StoreFixture env;
  MakeStores(env, false);
  const std::string alpha = env.dataPath() + "/Alpha.mdb";
  env.ui.answer = MessageAnswer::Yes;
  // A program died inside a transaction while the store was on show: its
  // rollback journal, or its write-ahead log, still holds pages of the store.
  for (const char* crash :
       {"PRAGMA synchronous=OFF; BEGIN; DELETE FROM hltime; DELETE FROM hlgroup",
        "PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0; "
        "INSERT INTO accountName VALUES (9, 'crash')"}) {
    MakeAlpha(env);
    MaintenanceModel model;
    model.Open();
    const int code = RunInChild(
        [&] {
          SqliteConnection connection;
          if (connection.Open(alpha, false) != SQLITE_OK || connection.Exec(crash) != SQLITE_OK) {
            return 1;
          }
          ::_exit(0);  // without closing, as in a crash
        },
        false);
    ASSERT_EQ(code, 0);
    model.DeleteHandheld();
    EXPECT_EQ(model.devices().Texts(), (Texts{"beta", "Zulu"}));
    EXPECT_EQ(model.accounts().Texts(), Texts{"Zed"});  // the first remaining, open
    for (const char* suffix : {"", "-journal", "-wal", "-shm"}) {
      EXPECT_FALSE(fs::exists(alpha + suffix)) << suffix;
    }
    // The next store of that name is the empty one it should be.
    EXPECT_EQ(Contents("Alpha"), "accounts items records spans") << crash;
  }

  // A store that cannot be deleted stays, and the message says why.
  MaintenanceModel model;
  model.Open();
  ::chmod(env.dataPath().c_str(), 0555);
  ::chmod(env.dir.path().c_str(), 0755);
  const int code = RunInChild(
      [&] {
        model.DeleteHandheld();
        return env.ui.messages.back().caption == "Database Error" &&
                       env.ui.messages.back().text ==
                           "The data of the device Alpha could not be deleted: Permission denied" &&
                       model.devices().count() == 3
                   ? 0
                   : 1;
      },
      true);
  EXPECT_EQ(code, 0);
  ::chmod(env.dataPath().c_str(), 0755);
  EXPECT_TRUE(fs::exists(alpha));

  // Deleting every handheld leaves three empty lists; Delete then only asks.
  for (int left = model.devices().count(); left > 0; --left) model.DeleteHandheld();
  EXPECT_EQ(model.devices().count() + model.accounts().count() + model.status().count(), 0);
  EXPECT_TRUE(fs::is_empty(env.dataPath()));
  const size_t asked = env.ui.messages.size();
  model.DeleteHandheld();
  model.DeleteAccount();
  EXPECT_EQ(env.ui.messages.size(), asked + 2);
}

namespace {

// Kestrune's side: loads Alpha, reads it in a transaction still open when the
// other program deletes the store, and once told the deletion is over loads
// it again.
int KestruneWhileDeleted(const std::string& path, int toParent, int fromParent) {
  RecordStore store(ReadStoreFolders());
  store.SetDeviceName("Alpha");
  store.Load();
  SqliteConnection reading;
  SqliteStatement count;
  auto records = [&count] {
    const int64_t n = count.Step() == SQLITE_ROW ? count.ColumnInt64(0) : -1;
    return count.Reset() == SQLITE_OK ? n : -1;
  };
  if (store.timeRecords().size() != 6 || reading.Open(path, false) != SQLITE_OK ||
      reading.Exec("BEGIN") != SQLITE_OK ||
      count.Prepare(reading, "SELECT count(*) FROM hlgroup") != SQLITE_OK || records() != 6) {
    return 1;
  }
  if (::write(toParent, "r", 1) != 1) return 2;
  // Long enough for the deletion to be under way: a deletion that did not
  // wait would be over before the word below.
  ::usleep(300 * 1000);
  // The transaction still sees the whole store, says it is ending, and ends
  // well.
  if (records() != 6 || ::write(toParent, "c", 1) != 1 || reading.Exec("COMMIT") != SQLITE_OK) {
    return 3;
  }
  char done = 0;
  if (::read(fromParent, &done, 1) != 1) return 4;
  store.Load();
  return store.accounts().empty() && store.timeRecords().empty() ? 0 : 5;
}

}  // namespace

TEST(MaintenanceModel, DeletingAStoreInUseHarmsNeitherFileNorProgram) {
  StoreFixture env;
  MakeStores(env);
  const std::string alpha = env.dataPath() + "/Alpha.mdb";
  int toParent[2], fromParent[2];
  ASSERT_EQ(::pipe(toParent), 0);
  ASSERT_EQ(::pipe(fromParent), 0);
  const pid_t kestrune = ::fork();
  if (kestrune == 0) ::_exit(KestruneWhileDeleted(alpha, toParent[1], fromParent[0]));

  MaintenanceModel model;
  model.Open();
  char ready = 0;
  ASSERT_EQ(::read(toParent[0], &ready, 1), 1);
  env.ui.answer = MessageAnswer::Yes;
  model.DeleteHandheld();
  // The deletion waited for kestrune's transaction: kestrune said it was
  // ending it before it committed, so the word is there once the deletion
  // is over, whatever the machine's load.
  pollfd ending{toParent[0], POLLIN, 0};
  EXPECT_EQ(::poll(&ending, 1, 0), 1);
  EXPECT_EQ(::write(fromParent[1], "d", 1), 1);
  int status = 0;
  ::waitpid(kestrune, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  // The deletion succeeded after kestrune's transaction.
  EXPECT_EQ(env.ui.messages.size(), 1u);
  // Kestrune's next load made the store afresh from the template.
  EXPECT_EQ(ReadAll(alpha), ReadAll(env.TemplateDir() + "/HR_Template.mdb"));
  for (int fd : {toParent[0], toParent[1], fromParent[0], fromParent[1]}) ::close(fd);
}
