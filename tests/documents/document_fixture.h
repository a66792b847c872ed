// What the document tests share: a docked handheld synchronized into its
// store, a billing user's settings, an editor that writes down what it was
// asked to open, a structural check of RTF text and golden files.
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
#include <thread>

#include "documents/rtf_document.h"
#include "emulator/emulated_handheld.h"
#include "store/record_store.h"
#include "support/handheld_fixture.h"
#include "support/recording_sync_view.h"
#include "sync/sync_procedure.h"

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

inline std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// The invoiced records of device's store, in list order.
inline std::vector<int32_t> InvoicedIds(const std::string& device) {
  RecordStore store(ReadStoreFolders());
  store.SetDeviceName(device);
  store.Load();
  std::vector<int32_t> ids;
  for (const TimeRecord& record : store.timeRecords()) {
    if (record.invoiced) ids.push_back(record.id);
  }
  return ids;
}

inline size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// What readers need to open a document: 7-bit text, CR LF line ends only,
// groups nested as the documents open them. The report's heading closes the
// prologue's 15-point group, so its final "}}" holds one brace more than it
// opens and its document group closes at the second-to-last brace; the
// invoice's groups balance, closing at the last one.
inline void ExpectRtfStructure(const std::string& text, DocumentKind kind) {
  ASSERT_GE(text.size(), 9u);
  EXPECT_EQ(text.compare(0, 6, "{\\rtf1"), 0);
  EXPECT_EQ(text.substr(text.size() - 9), "\\par }}\r\n");
  int depth = 0;
  size_t closedAt = std::string::npos;
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const bool lineEnd = (c == '\r' && text[i + 1] == '\n') || (c == '\n' && text[i - 1] == '\r');
    ASSERT_TRUE((c >= 0x20 && c < 0x7F) || c == '\t' || lineEnd) << int{c} << " at " << i;
    if (c == '\\') ++i;  // an escaped character, or a control word's first letter
    if (c == '{') ++depth;
    if (c == '}' && --depth == 0 && closedAt == std::string::npos) closedAt = i;
    if (closedAt == std::string::npos) {
      ASSERT_GT(depth, 0) << "group closed early at " << i;
    }
  }
  EXPECT_EQ(depth, kind == DocumentKind::Invoice ? 0 : -1);
  EXPECT_EQ(closedAt, text.size() - (kind == DocumentKind::Invoice ? 3 : 4));
}

// Compares text with tests/data/name byte for byte. HORALOG_UPDATE_GOLDEN=1
// writes the file instead, to be read line by line before it is committed.
inline void ExpectGolden(const std::string& text, const std::string& name) {
  const std::string path = std::string(HORALOG_SOURCE_DIR) + "/tests/data/" + name;
  const char* update = std::getenv("HORALOG_UPDATE_GOLDEN");
  if (update != nullptr && std::string(update) == "1") return WriteFile(path, text);
  const std::string golden = ReadFile(path);
  const auto [g, t] = std::mismatch(golden.begin(), golden.end(), text.begin(), text.end());
  EXPECT_TRUE(g == golden.end() && t == text.end())
      << name << " differs at line " << std::count(golden.begin(), g, '\n') + 1 << ": "
      << std::string(g, std::find(g, golden.end(), '\n'))
      << " | written: " << std::string(t, std::find(t, text.end(), '\n'));
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

// A script (its name holds a blank) that writes its arguments, one a line,
// to argsPath(). Nothing waits for an editor, so tests poll.
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
  bool Started() const { return ::access(args_.c_str(), F_OK) == 0; }
  // The arguments of the latest start, after waiting up to 10 s for one.
  std::string WaitForArguments() const {
    for (int i = 0; i < 1000 && !Started(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return ReadFile(args_);
  }

 private:
  std::string script_;
  std::string args_;
};

// The handheld "Pocket PC" after a synchronization, with records of an
// account it no longer has, an item the store does not know, an item moved
// to another account, a record without spans, a span past midnight, names
// with apostrophes (kept as backquotes) and braces, notes beyond ASCII. The
// clock stands at Saturday 15 March 2003 14:05 in New York; the Setup key
// holds the report folder, the recording editor, "$" and a company address.
class DocumentFixture : public HandheldFixture {
 public:
  static constexpr const char* kObrien = "O`Brien & {Sons}";

  DocumentFixture()
      : newYork("America/New_York"), now(LocalTime(2003, 3, 15, 14, 5)), editor(dir.path()) {
    ::mkdir(reportPath().c_str(), 0755);
    const std::pair<const char*, std::string> setup[] = {
        {"ReportPath", reportPath() + "/"},
        {"EditorPath", editor.script()},
        {"CurrencySymbol", "$"},
        {"Address1", "Kestrel & Rune {Consulting}"},
        {"Address2", "12 Main St \\ Suite 5"},
        {"Address3", ""},
        {"Address4", "Springfield"}};
    for (const auto& [name, value] : setup) WriteSetupString(name, value);
    SetDword("", "", "DefaultRate", 5000);
    SetDword(kObrien, "", "Atom", 15);
    SetDword(kObrien, "All", "Rate", 4500);
    SetDword(kObrien, "Design", "Rate", 6000);
    SetAccountString(kObrien, "Address1", "Mr. Sean O'Brien");
    SetAccountString(kObrien, "Address2", "1 Brace {Lane}");
    SetAccountString(kObrien, "Address4", "Dublin");
    SetDword("Delta", "", "Atom", 20);
    SetDword("Delta", "All", "Rate", 1000);
    SetDword("Zero Ltd", "", "Atom", 15);

    const std::u16string accounts[] = {u"O'Brien & {Sons}", u"Smith Co/West", u"Delta",
                                       u"Zero Ltd"};
    for (int32_t id = 1; id <= 4; ++id) Put(image.PutAccount(id, accounts[id - 1]).ok());
    const std::pair<int32_t, std::u16string> items[] = {
        {1, u"Design"}, {1, u"Coding"}, {2, u"Caf\u00e9 \u00d6lm\u00fchle"}, {2, u"Moved"}};
    for (int32_t id = 10; id <= 13; ++id)
      Put(image.PutItem(id, items[id - 10].first, items[id - 10].second).ok());
    for (int32_t id = 20; id <= 22; ++id)
      Put(image.PutItem(id, 3, std::u16string(1, u'X' + (id - 20))).ok());
    Put(image.PutItem(30, 4, u"Idle").ok());
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
    Record(11, 32, 1, 10, u"April", {{9 * 60, 60}});    // 1 April
    Record(12, 0, 2, 12, u"February", {{9 * 60, 60}});  // 28 February
    Synchronize(false);
  }

  std::string reportPath() const { return dir.File("reports"); }

  void Synchronize(bool updateOnly) {
    EmulatedHandheld handheld(dockPath());
    RecordingSyncView view;
    EXPECT_EQ(SyncProcedure(handheld, view, updateOnly).Run(), SyncProcedure::Outcome::Finished);
  }

  // Ids of the time records still on the handheld, ascending.
  std::vector<int32_t> HandheldRecordIds() {
    std::vector<std::vector<CeValue>> records;
    EXPECT_TRUE(image.Records("HLGroup", &records).ok());
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
  // A record of March 2003 (day 0 is the last of February, 32 the first of
  // April) with spans of (minutes after midnight, minutes).
  void Record(int32_t id, int day, int32_t account, int32_t item, const std::u16string& notes,
              std::vector<std::pair<int, int>> spans) {
    const int32_t date = day == 0    ? PackDate(2003, 2, 28)
                         : day == 32 ? PackDate(2003, 4, 1)
                                     : PackDate(2003, 3, day);
    Put(image.PutRecord(id, date, account, item, notes).ok());
    for (auto [start, duration] : spans) Put(image.AddSpan(id, start * 60, duration).ok());
  }
};

}  // namespace document_test
