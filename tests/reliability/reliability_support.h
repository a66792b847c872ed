// What the crash and concurrency tests share: programs started and killed
// at a chosen moment, stores read back as text, integrity checks, files put
// back between runs, and the figure lines scripts/reliability gathers.
#pragma once

#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "emulator/handheld_image.h"
#include "platform/sqlite_connection.h"
#include "platform/sqlite_statement.h"

namespace reliability {

// Runs from the environment variable name, else fallback (the short form
// that scripts/test runs; scripts/reliability --long asks for more).
inline int Runs(const char* name, int fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && std::atoi(value) > 0 ? std::atoi(value) : fallback;
}

// The seed of the random kill moments: HORALOG_RELIABILITY_SEED, else a fixed
// one, so that a failure can be run again exactly.
inline unsigned Seed() {
  const char* value = std::getenv("HORALOG_RELIABILITY_SEED");
  return value != nullptr ? static_cast<unsigned>(std::strtoul(value, nullptr, 10)) : 20261207u;
}

// Starts HORALOG_BIN_DIR/program with args in this environment, its output
// to the file log.
inline pid_t Start(const std::string& program, const std::vector<std::string>& args,
                   const std::string& log) {
  const std::string path = std::string(HORALOG_BIN_DIR) + "/" + program;
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(path.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    if (FILE* out = std::freopen(log.c_str(), "w", stdout)) dup2(fileno(out), 2);
    execv(path.c_str(), argv.data());
    _exit(127);
  }
  return pid;
}

// Waits for pid; its exit status, or 128 + the signal that ended it.
inline int Wait(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
  return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

// Runs the program and kills it with SIGKILL after delay (unless it ended
// first). True when the kill landed before the program ended.
inline bool RunAndKill(const std::string& program, const std::vector<std::string>& args,
                       const std::string& log, std::chrono::microseconds delay) {
  const pid_t pid = Start(program, args, log);
  std::this_thread::sleep_for(delay);
  kill(pid, SIGKILL);
  return Wait(pid) == 128 + SIGKILL;
}

// Runs the program and kills it after delay, as RunAndKill. When the program
// ended before the kill, again() puts its files back and the run is tried
// once more at half the delay, until a kill lands inside a run: on a busy
// machine a run can end sooner than the moments drawn from a timed one.
// The number of tries it took.
template <typename Again>
int KillInsideARun(const std::string& program, const std::vector<std::string>& args,
                   const std::string& log, std::chrono::microseconds delay, Again again) {
  int tries = 1;
  while (!RunAndKill(program, args, log, delay)) {
    again();
    delay /= 2;
    ++tries;
  }
  return tries;
}

// The rows of a query, one line each, columns separated by "|".
inline std::string Rows(SqliteConnection& db, const std::string& sql) {
  std::string text;
  SqliteStatement statement;
  if (statement.Prepare(db, sql) != SQLITE_OK) return "error: " + db.errorMessage();
  while (statement.Step() == SQLITE_ROW) {
    for (int c = 0; c < statement.columnCount(); ++c) {
      text += (c ? "|" : "") + statement.ColumnText(c);
    }
    text += "\n";
  }
  return text;
}

inline std::string Rows(const std::string& path, const std::string& sql) {
  SqliteConnection db;
  if (db.Open(path, false) != SQLITE_OK) return "cannot open " + path;
  return Rows(db, sql);
}

// A whole store as text, every table in a fixed order.
inline std::string Dump(const std::string& path) {
  SqliteConnection db;
  if (db.Open(path, false) != SQLITE_OK) return "cannot open " + path;
  return Rows(db, "SELECT * FROM accountName ORDER BY id") + "--\n" +
         Rows(db, "SELECT * FROM itemName ORDER BY id") + "--\n" +
         Rows(db, "SELECT * FROM hlgroup ORDER BY id") + "--\n" +
         Rows(db, "SELECT * FROM hltime ORDER BY parent, starttime, duration");
}

// "ok" when SQLite finds the file sound (a journal left by a killed writer
// is played back first, as any program opening the file would).
inline std::string Integrity(const std::string& path) {
  std::string rows = Rows(path, "PRAGMA integrity_check");
  while (!rows.empty() && rows.back() == '\n') rows.pop_back();
  return rows;
}

// Puts saved copies back in place of the files, and removes what a killed
// program may have left beside them.
inline void Restore(const std::vector<std::pair<std::string, std::string>>& savedAndLive) {
  namespace fs = std::filesystem;
  for (const auto& [saved, live] : savedAndLive) {
    for (const char* suffix : {"-journal", "-wal", "-shm"}) fs::remove(live + suffix);
    fs::copy_file(saved, live, fs::copy_options::overwrite_existing);
  }
}

// Fills image with 3,000 records of two spans each, over five accounts of
// three items: a handheld whose synchronization takes long enough to be
// caught in the middle.
inline bool FillBusyHandheld(HandheldImage& image, uint32_t seed) {
  HandheldGenerateOptions options;
  options.records = 3000;
  options.spansPerRecord = 2;
  options.accounts = 5;
  options.itemsPerAccount = 3;
  options.seed = seed;
  return image.Generate(options).ok();
}

// One line of the figures table of scripts/reliability.
inline void Figure(const std::string& what, const std::string& result) {
  std::printf("RELIABILITY\t%s\t%s\n", what.c_str(), result.c_str());
  std::fflush(stdout);
}

}  // namespace reliability
