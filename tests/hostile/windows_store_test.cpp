// Stores written on Windows: the Jet 4 and ACE files of tests/data/windows,
// made by Jackcess (MakeStores.java), imported with horalog and used by the
// programs; a Windows store found at a store path; damaged and foreign files.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>

#include "hostile/hostile_support.h"
#include "maint/maintenance_model.h"
#include "platform/utf8.h"
#include "reporting/reporting_model.h"
#include "store/record_store.h"
#include "store/statements.h"
#include "store/store_file_kind.h"
#include "store/windows_store_import.h"
#include "store/windows_store_reader.h"
#include "support/run_tool.h"

namespace {

using namespace hostile;
namespace fs = std::filesystem;
using Table = std::vector<std::vector<std::string>>;

const std::string kData = HORALOG_SOURCE_DIR "/tests/data/windows/";
// Jackcess's sources and samples sit beside the project's own clone on the
// machines that build it, not in a user's clone: there the tests that need
// them leave those parts out.
const std::string kJackcess = HORALOG_SOURCE_DIR "/../shared/third_party/jackcess";
const std::string kJet3 = kJackcess + "/test-data/testV1997.mdb";
const char* const kTables[] = {"accountName", "itemName", "hlgroup", "hltime"};

std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const char c = text[++i];
    out += c == 't' ? '\t' : c == 'n' ? '\n' : c;
  }
  return out;
}

std::string Bits(double value) {
  uint64_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  char text[20];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(bits));
  return text;
}

// The rows the generator wrote (stores.expected), as a store keeps them: a
// NULL text is empty, a NULL date is 1 January 1900 (2.0), a name is cut to
// 31 characters and its apostrophes are backquotes, a date the bits of its
// double.
std::map<std::string, Table> ExpectedRows(const std::string& file = kData + "stores.expected") {
  std::map<std::string, Table> tables;
  std::istringstream lines(ReadFile(file));
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> row;
    for (size_t start = 0, tab = 0; tab != std::string::npos; start = tab + 1) {
      tab = line.find('\t', start);
      row.push_back(line.substr(start, tab == std::string::npos ? tab : tab - start));
    }
    const std::string table = row[0];
    row.erase(row.begin());
    for (size_t c = 0; c < row.size(); ++c) {
      if (table == "hlgroup" && c == 6) {
        row[c] = row[c] == "\\N" ? Bits(2.0) : row[c].substr(0, 16);
      } else if (row[c] == "\\N") {
        row[c] = "";
      } else {
        row[c] = Unescape(row[c]);
      }
      if (c == row.size() - 1 && (table == "accountName" || table == "itemName")) {
        row[c] = CutToCharacters(row[c], kMaxNameChars);
        std::replace(row[c].begin(), row[c].end(), '\'', '`');
      }
    }
    tables[table].push_back(row);
  }
  return tables;
}

// A table of a store in the same form, in the order it was written (the
// date column's affinity keeps 2.0 as the integer 2: read back as a double).
Table StoreRows(const std::string& path, const std::string& table) {
  Table rows;
  SqliteConnection connection;
  SqliteStatement select;
  if (connection.Open(path, false) != SQLITE_OK ||
      select.Prepare(connection, "SELECT * FROM " + table + " ORDER BY rowid") != SQLITE_OK) {
    ADD_FAILURE() << path << ": " << connection.errorMessage();
    return rows;
  }
  while (select.Step() == SQLITE_ROW) {
    std::vector<std::string> row;
    for (int c = 0; c < select.columnCount(); ++c) {
      row.push_back(table == "hlgroup" && c == 6 ? Bits(select.ColumnDouble(c))
                                                 : select.ColumnText(c));
    }
    rows.push_back(row);
  }
  return rows;
}

ToolRun Horalog(const std::vector<std::string>& args) { return RunTool("horalog", args); }

// bytes with the one occurrence of from replaced by to (same length).
std::string Patched(std::string bytes, const std::string& from, const std::string& to) {
  const size_t at = bytes.find(from);
  EXPECT_NE(at, std::string::npos);
  EXPECT_EQ(bytes.find(from, at + 1), std::string::npos) << "the pattern is not unique";
  if (at != std::string::npos) bytes.replace(at, from.size(), to);
  return bytes;
}

template <typename... T>
std::string Packed(T... values) {
  std::string bytes;
  (bytes.append(reinterpret_cast<const char*>(&values), sizeof values), ...);
  return bytes;
}

std::u16string Utf16(const char* ascii) {
  return std::u16string(ascii, ascii + std::strlen(ascii));
}
std::string Utf16Bytes(const char* ascii) {
  const std::u16string wide = Utf16(ascii);
  return std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * 2);
}

}  // namespace

// Both formats import to exactly the rows the generator wrote, and the
// programs that already exist list, report and invoice them.
TEST(WindowsStore, ImportsEveryRowExactlyAndTheProgramsUseThem) {
  HandheldFixture env;
  const std::map<std::string, Table> expected = ExpectedRows();
  ASSERT_EQ(expected.size(), 4u);
  const struct {
    const char* file;
    const char* device;
    const char* format;
  } stores[] = {{"Pocket_PC.mdb", "Pocket_PC", "Jet 4"},
                {"Jane_Phone.accdb", "Jane_Phone", "ACE 12 (Access 2007)"}};
  for (const auto& store : stores) {
    SCOPED_TRACE(store.file);
    const std::string source = kData + store.file;
    const std::string bytes = ReadFile(source);
    const auto modified = fs::last_write_time(source);
    ToolRun run = Horalog({"import", source});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string path = env.dataPath() + "/" + store.device + ".mdb";
    EXPECT_EQ(run.out, std::string("Imported ") + store.device + " (" + store.format + ") into " +
                           path +
                           "\naccountName\t7\nitemName\t6\nhlgroup\t9\nhltime\t11\n"
                           "first day\t1999-12-31\nlast day\t2026-11-30\n");
    EXPECT_EQ(run.err, "horalog: warning: table accountName, row 7: name cut to 31 characters\n");
    for (const char* table : kTables)
      EXPECT_EQ(StoreRows(path, table), expected.at(table)) << table;
    EXPECT_TRUE(ReadFile(source) == bytes);
    EXPECT_EQ(fs::last_write_time(source), modified);
  }

  // The main window's list (all records, invoiced ones dated), a report and
  // an invoice of the open records, marked invoiced in the imported store.
  ToolRun run = Horalog({"records", "Pocket_PC", "Acme", "--all"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "Inc\tItem\tDate\tTime\tRate\tExtension\tInv Date\n"
            " \tWork\t12/31/99\t0.0\t0.00\t0.00\t1/1/00\n"
            " \tWork\t3/10/03\t2.3\t0.00\t0.00\t3/15/03\n"
            " \tTravel\t3/11/03\t8.0\t0.00\t0.00\t3/16/03\n"
            "X\tWork\t11/2/26\t2.0\t0.00\t0.00\t \n"
            "X\tWork\t11/30/26\t10.0\t0.00\t0.00\t \n"
            "Rate\t0.00\nTotal Time\t12.0\nInvoice Total\t0.00\n");
  WriteSetupString("ReportPath", env.dir.path() + "/");
  run = Horalog({"report", "Pocket_PC", "--no-open", "--no-pdf", "--range", "11/1/26 - 11/30/26"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(ReadFile(run.out.substr(0, run.out.find('\n'))).find("Report for 11/1/26 - 11/30/26"),
            std::string::npos);
  run = Horalog({"invoice", "Pocket_PC", "Caf\xc3\xa9 M\xc3\xbcller", "--no-open", "--no-pdf"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Value(env.dataPath() + "/Pocket_PC.mdb", "SELECT invoiced FROM hlgroup WHERE id = 102"),
            "1");
}

// The records imported synchronize as a store Linux wrote: the uninvoiced
// ones are replaced by the handheld's, the invoiced ones stay (and are
// removed from the handheld).
TEST(WindowsStore, ImportedRecordsSynchronizeAsAnyStore) {
  HandheldFixture env;
  ASSERT_TRUE(env.image.PutAccount(1, u"Acme").ok());
  ASSERT_TRUE(env.image.PutItem(10, 1, u"Work").ok());
  ASSERT_TRUE(env.image.PutRecord(101, PackDate(2003, 3, 11), 1, 10, u"invoiced on Windows").ok());
  ASSERT_TRUE(
      env.image.PutRecord(102, PackDate(2024, 2, 29), 1, 10, u"changed on the handheld").ok());
  ASSERT_TRUE(env.image.AddSpan(102, 8 * 3600, 5).ok());
  ASSERT_TRUE(env.image.PutRecord(300, PackDate(2026, 12, 1), 1, 10, u"new").ok());
  ASSERT_TRUE(env.image.AddSpan(300, 9 * 3600, 30).ok());
  ASSERT_EQ(Horalog({"import", kData + "Pocket_PC.mdb"}).status, 0);
  SyncRun run;
  RunSync(env, &run);
  ASSERT_EQ(run.outcome, SyncProcedure::Outcome::Finished);
  EXPECT_TRUE(run.view.messages.empty()) << run.view.messages[0];
  const std::string path = env.dataPath() + "/Pocket_PC.mdb";
  EXPECT_EQ(Rows(path, "SELECT id, notes, invoiced, deleted FROM hlgroup ORDER BY id"),
            (Table{{"100", "Invoiced, time of day in the date", "1", "1"},
                   {"101", "", "1", "1"},
                   {"102", "changed on the handheld", "0", "0"},
                   {"104", std::string(ExpectedRows().at("hlgroup")[4][4]), "1", "1"},
                   {"107", "Tab\tand\nnewline", "1", "1"},
                   {"300", "new", "0", "0"}}));
  EXPECT_EQ(Rows(path, "SELECT parent, starttime, duration FROM hltime WHERE parent IN (102, 300)"),
            (Table{{"102", "28800", "5"}, {"300", "32400", "30"}}));
  EXPECT_EQ(Value(path, "SELECT printf('%!.17g', invoicedate) FROM hlgroup WHERE id = 100"),
            "37695.586805555555");
  EXPECT_EQ(env.image.RecordCount("HLGroup"), 2);  // 101, invoiced, went
}

// A data folder copied over from Windows: the store is named for what it
// is, read by nothing, written by nothing, and imported in place.
TEST(WindowsStore, WindowsStoreAtTheStorePathIsOfferedForImportAndNeverTouched) {
  HandheldFixture env;
  ASSERT_TRUE(env.image.PutAccount(1, u"Acme").ok());
  const std::string path = env.dataPath() + "/Pocket_PC.mdb";
  const std::string bytes = ReadFile(kData + "Pocket_PC.mdb");
  WriteFile(path, bytes);
  WriteFile(env.dataPath() + "/Jane_Phone.mdb", ReadFile(kData + "Jane_Phone.accdb"));
  EXPECT_EQ(DetectStoreFileKind(path), StoreFileKind::WindowsJet);
  EXPECT_EQ(DetectStoreFileKind(env.dataPath() + "/Jane_Phone.mdb"), StoreFileKind::WindowsAce);

  ToolRun run = Horalog({"devices"});
  EXPECT_EQ(run.out,
            "Jane_Phone\t(written on Windows: not yet imported)\n"
            "Pocket_PC\t(written on Windows: not yet imported)\n");
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"records", "Pocket_PC", "Acme"},
        {"report", "Pocket_PC"},
        {"invoice", "Pocket_PC", "Acme"},
        {"ranges", "Pocket_PC", "Acme"}}) {
    run = Horalog(args);
    EXPECT_EQ(run.status, 7) << args[0];
    EXPECT_EQ(run.err, "horalog: " + WindowsStoreMessage("Pocket_PC", path) + "\n") << args[0];
  }
  RecordStore store(ReadStoreFolders());
  store.SetDeviceName("Pocket_PC");
  store.Load();
  EXPECT_TRUE(store.accounts().empty());
  SyncRun sync;
  RunSync(env, &sync);
  EXPECT_EQ(sync.outcome, SyncProcedure::Outcome::StoreNotCreated);
  EXPECT_EQ(sync.view.messages,
            (std::vector<std::string>{"Horalog: " + WindowsStoreMessage("Pocket_PC", path)}));
  EXPECT_TRUE(ReadFile(path) == bytes);

  run = Horalog({"import", path});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("The Windows store is now " + env.dataPath() + "/Pocket_PC.windows.mdb"),
            std::string::npos);
  EXPECT_EQ(DetectStoreFileKind(path), StoreFileKind::Sqlite);
  EXPECT_TRUE(ReadFile(env.dataPath() + "/Pocket_PC.windows.mdb") == bytes);
  EXPECT_EQ(Horalog({"devices"}).out,
            "Jane_Phone\t(written on Windows: not yet imported)\nPocket_PC\n");
  RunSync(env, &sync);
  EXPECT_EQ(sync.outcome, SyncProcedure::Outcome::Finished);
}

// The windows: kestsweep lists such a store as not imported and never
// deletes it; kestrune offers the import, and imports on Yes only.
TEST(WindowsStore, KestruneOffersTheImportAndKestsweepNeverDeletesIt) {
  StoreFixture env;
  const std::string path = env.dataPath() + "/Pocket_PC.mdb";
  const std::string bytes = ReadFile(kData + "Pocket_PC.mdb");
  WriteFile(path, bytes);
  MaintenanceModel sweep;
  sweep.Open();
  EXPECT_EQ(sweep.devices().Texts(),
            std::vector<std::string>{std::string("Pocket_PC") + kNotImportedMark});
  EXPECT_EQ(sweep.deviceName(), "Pocket_PC");
  env.ui.answer = MessageAnswer::Yes;
  sweep.DeleteHandheld();
  ASSERT_EQ(env.ui.messages.size(), 2u);
  EXPECT_EQ(env.ui.messages[1].text,
            WindowsStoreMessage("Pocket_PC", path) + ". It was not deleted.");
  EXPECT_TRUE(ReadFile(path) == bytes);

  for (MessageAnswer answer : {MessageAnswer::No, MessageAnswer::Yes}) {
    env.ui.messages.clear();
    env.ui.answer = answer;
    ReportingModel model;
    model.LoadDefaults();
    model.FillDeviceList("");
    ASSERT_FALSE(env.ui.messages.empty());
    EXPECT_EQ(env.ui.messages[0].text,
              "The store of Pocket_PC (" + path +
                  ") was written by Horalog on Windows.\n\nImport its records now? The Windows "
                  "file is kept as " +
                  env.dataPath() + "/Pocket_PC.windows.mdb.");
    EXPECT_EQ(env.ui.messages[0].buttons, MessageButtons::YesNo);
    if (answer == MessageAnswer::No) {
      EXPECT_EQ(env.ui.messages.size(), 1u);
      EXPECT_EQ(model.accounts().count(), 0);
      EXPECT_TRUE(ReadFile(path) == bytes);
    } else {
      ASSERT_EQ(env.ui.messages.size(), 2u);
      EXPECT_EQ(env.ui.messages[1].text.substr(0, 33), "Imported Pocket_PC (Jet 4) into /");
      EXPECT_EQ(model.accounts().count(), 7);
      EXPECT_EQ(DetectStoreFileKind(path), StoreFileKind::Sqlite);
      EXPECT_TRUE(ReadFile(env.dataPath() + "/Pocket_PC.windows.mdb") == bytes);
    }
  }
  sweep.Open();
  EXPECT_EQ(sweep.devices().Texts(), std::vector<std::string>{"Pocket_PC"});
  EXPECT_EQ(sweep.accounts().count(), 7);
}

// A store that holds records is replaced only when asked, and kept.
TEST(WindowsStore, RefusesAStoreHoldingRecordsUnlessToldToReplaceIt) {
  StoreFixture env;
  const std::string source = kData + "Pocket_PC.mdb";
  const std::string path = env.CreateStore("Pocket_PC");
  env.Run(path, {InsertAccountStatement(7, "Linux"),
                 InsertTimeRecordStatement(1, PackDate(2026, 1, 2), 7, 70, "made on Linux")});
  const std::string linux = ReadFile(path);
  ToolRun run = Horalog({"import", source});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "horalog: the store of Pocket_PC (" + path +
                         ") already holds 1 time records: nothing was imported. --replace keeps "
                         "it as " +
                         env.dataPath() + "/Pocket_PC.before-import.mdb and replaces it\n");
  EXPECT_TRUE(ReadFile(path) == linux);
  run = Horalog({"import", source, "--replace"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(ReadFile(env.dataPath() + "/Pocket_PC.before-import.mdb") == linux);
  EXPECT_EQ(Value(path, "SELECT count(*) FROM hlgroup"), "9");
  // A second replacement would lose the store kept by the first.
  run = Horalog({"import", source, "--replace"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "horalog: " + env.dataPath() +
                         "/Pocket_PC.before-import.mdb already exists: move it away, then import "
                         "again\n");
  // Another name, and a store fresh from the template, which holds nothing.
  env.CreateStore("Other");
  run = Horalog({"import", source, "--device", "Other"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Value(env.dataPath() + "/Other.mdb", "SELECT count(*) FROM hltime"), "11");
  EXPECT_FALSE(fs::exists(env.dataPath() + "/Other.before-import.mdb"));
}

// Files that are no Windows store, or damaged ones: a message naming the
// fault (the table and row of a bad value), and nothing written.
TEST(WindowsStore, BadFilesAreRefusedWithTheirFaultAndWriteNothing) {
  StoreFixture env;
  const std::string jet4 = ReadFile(kData + "Pocket_PC.mdb");
  const std::string ace = ReadFile(kData + "Jane_Phone.accdb");
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::string date = Packed(37695.586805555555);
  const std::string recordRow = Packed(2147483647, 132778782, 1, 10);
  const std::string spanRow = Packed(2147483647, 21600, 600);
  const struct {
    const char* what;
    std::string bytes;
    std::string message;
    std::vector<std::string> options;
  } cases[] = {
      {"empty", "", "the file is empty", {}},
      {"text",
       "Notes, not a database\n",
       "it is not a Windows store: no Jet or Access database",
       {}},
      {"a Linux store",
       ReadFile(TestEnvironment::TemplateDir() + "/HR_Template.mdb"),
       "it is already a Linux store (SQLite), not a Windows store",
       {}},
      {"cut short",
       jet4.substr(0, jet4.size() - 100),
       "the file is cut short: " + std::to_string(jet4.size() - 100) +
           " bytes is not a whole number of 4096-byte pages",
       {}},
      // Whole pages missing at the end: mdbtools would read the rows there
      // as none at all, without a word; the table's own row count tells.
      {"cut by a page",
       jet4.substr(0, jet4.size() - 4096),
       "table hltime lists 11 rows but only 0 can be read: the file is damaged",
       {}},
      {"Jet 3, not a store",
       ReadFile(kJet3),
       "it is a Jet 3 database, but not a Horalog store from Windows: it has no table accountName",
       {}},
      {"a column missing",
       Patched(jet4, Utf16Bytes("duration"), Utf16Bytes("duraXion")),
       "it is a Jet 4 database, but not a Horalog store from Windows: table hltime has no column "
       "duration",
       {}},
      {"a date not a number",
       Patched(jet4, date, Packed(nan)),
       "table hlgroup, row 1: invoicedate nan is outside Jet's dates",
       {}},
      {"a date beyond Jet's",
       Patched(ace, date, Packed(1e300)),
       "table hlgroup, row 1: invoicedate 1.0000000000000001e+300 is outside Jet's dates",
       {}},
      {"a duplicate id",
       Patched(jet4, recordRow, Packed(100, 132778782, 1, 10)),
       "table hlgroup, row 9: id 100 is there twice",
       {}},
      {"a day that is none",
       Patched(jet4, recordRow, Packed(2147483647, 0x07EA0B1F, 1, 10)),
       "table hlgroup, row 9: grpdate 132778783 is no day",
       {}},
      {"a negative id",
       Patched(jet4, Packed(40, 4), Packed(-1, 4)),
       "table itemName, row 5: id -1 is not a valid id (ids are 1 or more)",
       {}},
      {"a span without its record",
       Patched(jet4, spanRow, Packed(99, 21600, 600)),
       "table hltime, row 11: its record 99 does not exist",
       {}},
      {"a second past the day",
       Patched(ace, Packed(107, 86399, 0), Packed(107, 86400, 0)),
       "table hltime, row 10: starttime 86400 is not a second of a day (0 to 86399)",
       {}},
      {"a negative duration",
       Patched(jet4, spanRow, Packed(2147483647, 21600, -5)),
       "table hltime, row 11: duration -5 is not a number of minutes from 0 to a year",
       {}},
      // Found by the fuzzer: mdbtools follows a null usage map. It reads in
      // a process of its own, so the file is refused, not the program killed.
      {"a file that crashes mdbtools",
       ReadFile(HORALOG_SOURCE_DIR "/fuzz/corpus/windows_store/mdbtools_null_usage_map"),
       "mdbtools failed on it (signal 11): the file is damaged",
       {}},
      {"an unknown code page", jet4, "the code page NOPE is not known", {"--encoding", "NOPE"}},
  };
  for (const auto& bad : cases) {
    SCOPED_TRACE(bad.what);
    if (std::string_view(bad.what) == "Jet 3, not a store" && !fs::exists(kJet3)) continue;
    const std::string source = env.dir.File("Pocket_PC.mdb");
    WriteFile(source, bad.bytes);
    std::vector<std::string> args = {"import", source};
    args.insert(args.end(), bad.options.begin(), bad.options.end());
    ToolRun run = Horalog(args);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "horalog: cannot import " + source + ": " + bad.message + "\n");
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(FilesBelow(env.dataPath()).empty());
    EXPECT_TRUE(ReadFile(source) == bad.bytes);
  }
  // Not there, or not a file.
  EXPECT_EQ(Horalog({"import", env.dir.File("none.mdb")}).err,
            "horalog: cannot import " + env.dir.File("none.mdb") +
                ": it cannot be read: No such file or directory\n");
  EXPECT_EQ(Horalog({"import", env.dataPath(), "--device", "X"}).err,
            "horalog: cannot import " + env.dataPath() + ": it is not a file\n");
  // Access 97 is told apart by its version byte, pages of 2 KB and the code
  // page it names for its texts.
  WindowsStoreRows rows;
  if (fs::exists(kJet3)) {
    EXPECT_FALSE(WindowsStoreReader().Read(kJet3, &rows).ok());
    EXPECT_EQ(rows.format, "Jet 3");
    EXPECT_EQ(rows.codePage, 1252);
  }
  // Jet 4 keeps UTF-16: another code page changes nothing.
  const Status jet4Read = WindowsStoreReader("CP1251").Read(kData + "Pocket_PC.mdb", &rows);
  ASSERT_TRUE(jet4Read.ok()) << jet4Read.message();
  EXPECT_EQ(rows.accounts[1].name, "Caf\xc3\xa9 M\xc3\xbcller");
  // A lock file beside it: Windows may have it open. Said, and read as it is.
  WriteFile(env.dir.File("Pocket_PC.mdb"), jet4);
  WriteFile(env.dir.File("Pocket_PC.ldb"), "");
  ToolRun run = Horalog({"import", env.dir.File("Pocket_PC.mdb")});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "horalog: warning: " + env.dir.File("Pocket_PC.ldb") +
                         " is beside it: a Windows program may still have the store open; it is "
                         "read as it is, and never written\nhoralog: warning: table accountName, "
                         "row 7: name cut to 31 characters\n");
}

// Copies with bytes overwritten at random: each reads whole and checked, or
// is refused with a reason; never a crash, never half a store.
TEST(WindowsStore, CorruptCopiesAreReadWholeOrRefused) {
  StoreFixture env;
  const std::string jet4 = ReadFile(kData + "Pocket_PC.mdb");
  const WindowsStoreImport importer(ReadStoreFolders());
  std::mt19937 random(21);
  int refused = 0;
  for (int copy = 0; copy < 150; ++copy) {
    std::string bytes = jet4;
    for (int n = 0; n < 1 + copy % 8; ++n) {
      bytes[random() % bytes.size()] = static_cast<char>(random());
    }
    const std::string source = env.dir.File("Copy.mdb");
    WriteFile(source, bytes);
    const WindowsStoreImport::Result result = importer.Run({source, "Copy", true});
    const std::string store = env.dataPath() + "/Copy.mdb";
    if (!result.status.ok()) {
      ++refused;
      EXPECT_FALSE(result.status.message().empty());
      EXPECT_FALSE(fs::exists(store + ".importing"));
      continue;
    }
    EXPECT_EQ(Value(store, "SELECT count(*) FROM hlgroup"), std::to_string(result.records));
    fs::remove(store);
    fs::remove(env.dataPath() + "/Copy.before-import.mdb");
  }
  // Most single bytes land on pages no value reads; some must be caught.
  EXPECT_GT(refused, 0);
}

// The committed stores are what the generator makes: when a JDK is here,
// made again and compared by content (the files differ in ~50 bytes each time).
TEST(WindowsStore, GeneratorRemakesTheCommittedStores) {
  if (std::system("command -v javac >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "no javac: the committed stores are used as they are";
  }
  if (!fs::exists(kJackcess + "/src/main/java")) {
    GTEST_SKIP()
        << "no Jackcess sources beside the clone: the committed stores are used as they are";
  }
  StoreFixture env;
  const std::string out = env.dir.File("made");
  const std::string command = "HORALOG_JAVA_BUILD='" HORALOG_BIN_DIR "/java' '" + kData +
                              "make-stores' '" + out + "' >'" + out + ".log' 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0) << command << "\n" << ReadFile(out + ".log");
  EXPECT_EQ(ReadFile(out + "/stores.expected"), ReadFile(kData + "stores.expected"));
  for (const char* file : {"Pocket_PC.mdb", "Jane_Phone.accdb"}) {
    WindowsStoreRows made, committed;
    const Status madeRead = WindowsStoreReader().Read(out + "/" + file, &made);
    ASSERT_TRUE(madeRead.ok()) << madeRead.message();
    const Status committedRead = WindowsStoreReader().Read(kData + file, &committed);
    ASSERT_TRUE(committedRead.ok()) << committedRead.message();
    EXPECT_EQ(made.records.size(), committed.records.size());
    for (size_t i = 0; i < made.records.size() && i < committed.records.size(); ++i) {
      EXPECT_EQ(made.records[i].notes, committed.records[i].notes);
      EXPECT_EQ(Bits(made.records[i].invoicedate), Bits(committed.records[i].invoicedate));
    }
    EXPECT_EQ(made.accounts.size(), committed.accounts.size());
    EXPECT_EQ(made.spans.size(), committed.spans.size());
  }
}
