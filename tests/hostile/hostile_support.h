// What the hostile-input tests share: listings of folders, raw reads of a
// store, whole files, and one synchronization of a docked handheld.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "emulator/emulated_handheld.h"
#include "platform/sqlite_connection.h"
#include "platform/sqlite_statement.h"
#include "support/handheld_fixture.h"
#include "support/recording_sync_view.h"
#include "sync/sync_procedure.h"

namespace hostile {

// Every file below root, as paths relative to it.
inline std::set<std::string> FilesBelow(const std::string& root) {
  namespace fs = std::filesystem;
  std::set<std::string> files;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::end(it);
       it.increment(ec)) {
    if (!it->is_directory()) files.insert(fs::relative(it->path(), root).string());
  }
  return files;
}

// Files of after that before did not have.
inline std::set<std::string> Added(const std::set<std::string>& before,
                                   const std::set<std::string>& after) {
  std::set<std::string> added;
  for (const std::string& f : after) {
    if (!before.count(f)) added.insert(f);
  }
  return added;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// The rows of sql on the SQLite file at path, every column as text ("" for
// NULL); a failure fails the test and gives no rows.
inline std::vector<std::vector<std::string>> Rows(const std::string& path, const std::string& sql) {
  std::vector<std::vector<std::string>> rows;
  SqliteConnection connection;
  if (connection.Open(path, false) != 0) {
    ADD_FAILURE() << path << ": " << connection.errorMessage();
    return rows;
  }
  SqliteStatement statement;
  if (statement.Prepare(connection, sql) != 0) {
    ADD_FAILURE() << sql << ": " << connection.errorMessage();
    return rows;
  }
  int rc = 0;
  while ((rc = statement.Step()) == 100 /* SQLITE_ROW */) {
    std::vector<std::string> row;
    for (int i = 0; i < statement.columnCount(); ++i) row.push_back(statement.ColumnText(i));
    rows.push_back(std::move(row));
  }
  if (rc != 101 /* SQLITE_DONE */) ADD_FAILURE() << sql << ": " << connection.errorMessage();
  return rows;
}

// The single value of a query.
inline std::string Value(const std::string& path, const std::string& sql) {
  auto rows = Rows(path, sql);
  return rows.empty() || rows[0].empty() ? "<none>" : rows[0][0];
}

// One run of the synchronization procedure, as the programs start it.
struct SyncRun {
  SyncProcedure::Outcome outcome = SyncProcedure::Outcome::NotConnected;
  std::string deviceName;
  std::string storePath;
  RecordingSyncView view;
};

inline void RunSync(HandheldFixture& env, SyncRun* run, bool updateOnly = false) {
  EmulatedHandheld handheld(env.dockPath());
  SyncProcedure procedure(handheld, run->view, updateOnly);
  run->outcome = procedure.Run();
  run->deviceName = procedure.deviceName();
  run->storePath = procedure.storePath();
}

// The nesting of RTF text's groups, escapes ("\\{", "\\}", "\\\\") not counted:
// the lowest depth reached and the depth at the end.
struct RtfDepth {
  int lowest = 0;
  int last = 0;
  bool operator==(const RtfDepth& o) const { return lowest == o.lowest && last == o.last; }
};
inline RtfDepth RtfGroupDepth(const std::string& rtf) {
  RtfDepth depth;
  for (size_t i = 0; i < rtf.size(); ++i) {
    if (rtf[i] == '\\') {
      ++i;
    } else if (rtf[i] == '{') {
      ++depth.last;
    } else if (rtf[i] == '}') {
      depth.lowest = std::min(depth.lowest, --depth.last);
    }
  }
  return depth;
}

// Whether this process can write whatever the file permissions say.
inline bool RunningAsRoot() { return ::geteuid() == 0; }

}  // namespace hostile
