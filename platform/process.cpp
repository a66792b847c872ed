// Starting another program beside this one.
#include "platform/process.h"

#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <mutex>

extern char** environ;

namespace {

std::mutex startedMutex;
std::vector<pid_t> started;

// Children that ended since the last start stop being zombies here; only
// children started by this file are waited for, so no other part of the
// program loses an exit status it waits for itself.
void ReapEnded() {
  std::erase_if(started, [](pid_t pid) { return ::waitpid(pid, nullptr, WNOHANG) != 0; });
}

}  // namespace

Status StartDetachedProcess(const std::string& program, const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
#ifdef POSIX_SPAWN_SETSID
  // Closing the terminal this program was started from leaves the editor open.
  flags |= POSIX_SPAWN_SETSID;
#endif
  posix_spawnattr_setflags(&attributes, flags);
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &all);

  std::lock_guard<std::mutex> lock(startedMutex);
  ReapEnded();
  pid_t pid = 0;
  // glibc reports a failed exec (missing program, no permission) as the
  // result of posix_spawnp itself.
  const int result =
      ::posix_spawnp(&pid, program.c_str(), nullptr, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  if (result != 0) return Status::Failure(std::strerror(result));
  started.push_back(pid);
  return Status::Ok();
}
