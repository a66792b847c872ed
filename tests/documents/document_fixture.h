// What the document tests share: a docked handheld synchronized into its
// store, the settings of a billing user, an editor that writes down what it
// was asked to open, a structural check of RTF text and golden files.
#pragma once

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "device/emulated_handheld.h"
#include "device/sync_procedure.h"
#include "documents/rtf_document.h"
#include "settings/account_settings.h"
#include "settings/registry_key_stack.h"
#include "store/record_store.h"
#include "support/handheld_fixture.h"
#include "support/recording_sync_view.h"

namespace document_test {

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline void WriteFile(const std::string& path, const std::string& text, mode_t mode = 0644) {
  std::ofstream(path, std::ios::binary) << text;
  ::chmod(path.c_str(), mode);
}

inline void SetSetupDword(const std::string& name, uint32_t value) {
  RegistryKeyStack keys;
  keys.CreatePath(kSetupKeyPath);
  keys.SetDword(name, value);
  keys.CloseAll();
}

// Writes a value below the account key of account (and item, when given).
inline void SetAccountValue(const std::string& account, const std::string& item,
                            const std::string& name, uint32_t value) {
  RegistryKeyStack keys;
  keys.CreatePath(kAcctsKeyPath);
  keys.CreateChild(account);
  if (!item.empty()) keys.CreateChild(item);
  keys.SetDword(name, value);
  keys.CloseAll();
}

inline void SetAccountString(const std::string& account, const std::string& name,
                             const std::string& value) {
  RegistryKeyStack keys;
  keys.CreatePath(kAcctsKeyPath);
  keys.CreateChild(account);
  keys.SetString(name, value);
  keys.CloseAll();
}

// The files of folder, sorted by name.
inline std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// The records of device's store that are invoiced, in list order.
inline std::vector<int32_t> InvoicedIds(const std::string& device) {
  RecordStore store;
  store.SetDeviceName(device);
  store.Load();
  std::vector<int32_t> ids;
  for (const TimeRecord& record : store.timeRecords()) {
    if (record.invoiced) ids.push_back(record.id);
  }
  return ids;
}

// How often what occurs in text.
inline size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// The structure every document must have so that readers open it: lines
// end in CR LF only, the text is 7-bit, and groups nest as the documents
// open them. The report's heading closes the prologue's 15-point group, so
// its final "}}" carries one brace more than it opens: its document group
// closes only at the second-to-last character. The invoice's groups balance
// exactly, closing at its last brace.
inline void ExpectRtfStructure(const std::string& text, DocumentKind kind) {
  ASSERT_GE(text.size(), 9u);
  EXPECT_EQ(text.compare(0, 6, "{\\rtf1"), 0);
  EXPECT_EQ(text.substr(text.size() - 9), "\\par }}\r\n");
  int depth = 0;
  size_t closedAt = std::string::npos;
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    ASSERT_TRUE((c >= 0x20 && c < 0x7F) || c == '\t' || c == '\r' || c == '\n')
        << "byte " << int{c} << " at " << i;
    if (c == '\n') {
      ASSERT_TRUE(i > 0 && text[i - 1] == '\r') << "bare LF at " << i;
    }
    if (c == '\r') {
      ASSERT_TRUE(i + 1 < text.size() && text[i + 1] == '\n') << "bare CR at " << i;
    }
    if (c == '\\') {
      ++i;  // the escaped character (\\, \{, \}) or the first letter of a word
      continue;
    }
    if (c == '{') ++depth;
    if (c == '}') {
      --depth;
      if (depth == 0 && closedAt == std::string::npos) closedAt = i;
    }
    if (closedAt == std::string::npos) {
      ASSERT_GT(depth, 0) << "group closed early at " << i;
    }
  }
  const size_t lastBrace = text.size() - 3;  // "}\r\n" ends every document
  if (kind == DocumentKind::Invoice) {
    EXPECT_EQ(depth, 0);
    EXPECT_EQ(closedAt, lastBrace);
  } else {
    EXPECT_EQ(depth, -1);
    EXPECT_EQ(closedAt, lastBrace - 1);
  }
}

// Compares text with tests/data/name byte for byte; HORALOG_UPDATE_GOLDEN=1
// writes the file instead (then look at it before committing).
inline void ExpectGolden(const std::string& text, const std::string& name) {
  const std::string path = std::string(HORALOG_SOURCE_DIR) + "/tests/data/" + name;
  const char* update = std::getenv("HORALOG_UPDATE_GOLDEN");
  if (update != nullptr && std::string(update) == "1") {
    WriteFile(path, text);
    return;
  }
  const std::string golden = ReadFile(path);
  if (golden == text) return;
  size_t line = 1, at = 0;
  while (at < golden.size() && at < text.size() && golden[at] == text[at]) {
    if (golden[at] == '\n') ++line;
    ++at;
  }
  const size_t from = golden.rfind('\n', at == 0 ? 0 : at - 1);
  const size_t start = from == std::string::npos ? 0 : from + 1;
  ADD_FAILURE() << name << " differs at line " << line
                << "\nexpected: " << golden.substr(start, golden.find('\n', at) - start)
                << "\nwritten:  " << text.substr(start, text.find('\n', at) - start);
}

// Files may grow to at most limit bytes while the object lives; a write
// beyond fails with EFBIG instead of ending the process.
class ScopedFileSizeLimit {
 public:
  explicit ScopedFileSizeLimit(rlim_t limit) {
    ::getrlimit(RLIMIT_FSIZE, &old_);
    oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit lowered = old_;
    lowered.rlim_cur = limit;
    EXPECT_EQ(::setrlimit(RLIMIT_FSIZE, &lowered), 0);
  }
  ~ScopedFileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, oldHandler_);
  }

 private:
  rlimit old_{};
  void (*oldHandler_)(int) = nullptr;
};

// An editor that writes its arguments, one a line, to argsPath() and
// nothing else; the programs do not wait for it, so tests poll.
class RecordingEditor {
 public:
  explicit RecordingEditor(const std::string& folder)
      : script_(folder + "/editor with blank.sh"), args_(folder + "/editor.args") {
    WriteFile(script_,
              "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"" + args_ + ".tmp\"\nmv \"" + args_ +
                  ".tmp\" \"" + args_ + "\"\n",
              0755);
  }
  const std::string& script() const { return script_; }
  const std::string& argsPath() const { return args_; }
  // The arguments of the latest start, waiting up to 10 s for one.
  std::string WaitForArguments() const {
    for (int i = 0; i < 1000 && ::access(args_.c_str(), F_OK) != 0; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return ReadFile(args_);
  }
  bool Started() const { return ::access(args_.c_str(), F_OK) == 0; }

 private:
  std::string script_;
  std::string args_;
};

// The billing user's handheld "Pocket PC" after a synchronization: four
// accounts on the handheld plus records of an account it no longer has, an
// item the store does not know, an item moved to another account, a record
// without spans, a span past midnight, names with apostrophes and braces,
// notes beyond ASCII. The clock stands at Saturday 15 March 2003 14:05 in
// New York; the Setup key holds the report folder, the recording editor, a
// "$" currency symbol and a company address.
class DocumentFixture : public HandheldFixture {
 public:
  // The store keeps apostrophes of names as backquotes.
  static constexpr const char* kObrien = "O`Brien & {Sons}";

  DocumentFixture()
      : newYork("America/New_York"), now(LocalTime(2003, 3, 15, 14, 5)), editor(dir.path()) {
    ::mkdir(reportPath().c_str(), 0755);
    WriteSetupString("ReportPath", reportPath() + "/");
    WriteSetupString("EditorPath", editor.script());
    WriteSetupString("CurrencySymbol", "$");
    WriteSetupString("Address1", "Kestrel & Rune {Consulting}");
    WriteSetupString("Address2", "12 Main St \\ Suite 5");
    WriteSetupString("Address3", "");
    WriteSetupString("Address4", "Springfield");
    SetSetupDword("DefaultRate", 5000);
    SetAccountValue(kObrien, "", "Atom", 15);
    SetAccountValue(kObrien, "All", "Rate", 4500);
    SetAccountValue(kObrien, "Design", "Rate", 6000);
    SetAccountString(kObrien, "Address1", "Mr. Sean O'Brien");
    SetAccountString(kObrien, "Address2", "1 Brace {Lane}");
    SetAccountString(kObrien, "Address4", "Dublin");
    SetAccountValue("Delta", "", "Atom", 20);
    SetAccountValue("Delta", "All", "Rate", 1000);
    SetAccountValue("Zero Ltd", "", "Atom", 15);

    Put(image.PutAccount(1, u"O'Brien & {Sons}"));
    Put(image.PutAccount(2, u"Smith Co/West"));
    Put(image.PutAccount(3, u"Delta"));
    Put(image.PutAccount(4, u"Zero Ltd"));
    Put(image.PutItem(10, 1, u"Design"));
    Put(image.PutItem(11, 1, u"Coding"));
    Put(image.PutItem(12, 2, u"Caf\u00e9 \u00d6lm\u00fchle"));
    Put(image.PutItem(13, 2, u"Moved"));
    Put(image.PutItem(20, 3, u"X"));
    Put(image.PutItem(21, 3, u"Y"));
    Put(image.PutItem(22, 3, u"Z"));
    Put(image.PutItem(30, 4, u"Idle"));
    Record(1, 3, 1, 10, u"Logo {draft}", {{9 * 60, 50}, {8 * 60, 20}});
    Record(2, 3, 1, 11, u"Parser \\ lexer", {{23 * 60 + 30, 90}});
    Record(3, 4, 1, 99, u"Phone call", {{10 * 60, 30}});
    Record(4, 5, 1, 10, u"No spans", {});
    Record(5, 6, 1, 13, u"Moved work", {{13 * 60, 60}});
    Record(6, 3, 2, 12, u"Caf\u00e9 \u2013 na\u00efve \U0001F600", {{14 * 60, 45}});
    Record(7, 10, 3, 20, u"x", {{9 * 60, 20}});
    Record(8, 11, 3, 21, u"y", {{9 * 60, 20}});
    Record(9, 12, 3, 22, u"z", {{9 * 60, 20}});
    Record(10, 31, 4, 30, u"idle", {{9 * 60, 5}});
    Record(13, 7, 9, 10, u"gone account", {{9 * 60, 30}});
    Put(image.PutRecord(11, PackDate(2003, 4, 1), 1, 10, u"April"));
    Put(image.AddSpan(11, 9 * 3600, 60));
    Put(image.PutRecord(12, PackDate(2003, 2, 28), 2, 12, u"February"));
    Put(image.AddSpan(12, 9 * 3600, 60));
    Synchronize(false);
  }

  std::string reportPath() const { return dir.File("reports"); }

  // Runs the synchronization procedure against the docked image.
  void Synchronize(bool updateOnly) {
    EmulatedHandheld handheld(dockPath());
    RecordingSyncView view;
    SyncProcedure procedure(handheld, view, updateOnly);
    EXPECT_EQ(procedure.Run(), SyncProcedure::Outcome::Finished);
  }

  // Ids of the time records still on the handheld.
  std::vector<int32_t> HandheldRecordIds() {
    std::vector<std::vector<CeValue>> records;
    EXPECT_TRUE(image.Records("HLGroup", &records));
    std::vector<int32_t> ids;
    for (const auto& record : records) ids.push_back(record.at(0).integer);
    std::sort(ids.begin(), ids.end());
    return ids;
  }

  ScopedTimeZone newYork;
  std::time_t now;
  ScopedNow pinned{now};
  RecordingEditor editor;

 private:
  static void Put(bool ok) { EXPECT_TRUE(ok); }
  // A record of March 2003 with spans of (minutes after midnight, minutes).
  void Record(int32_t id, int day, int32_t account, int32_t item, const std::u16string& notes,
              std::vector<std::pair<int, int>> spans) {
    Put(image.PutRecord(id, PackDate(2003, 3, day), account, item, notes));
    for (auto [start, duration] : spans) Put(image.AddSpan(id, start * 60, duration));
  }
};

}  // namespace document_test
