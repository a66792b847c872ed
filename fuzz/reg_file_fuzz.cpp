// Fuzzes the reading of .reg files. A small file that reads is also applied
// to a registry in a temporary folder, exported, and the export read and
// applied once more: the registry's own export must always read back, and
// give the same registry.
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "platform/utf8.h"
#include "settings/reg_file.h"
#include "settings/registry.h"

namespace {

// Files larger than this are only read: applying costs a transaction.
constexpr size_t kApplyLimit = 2048;

class ScratchRegistry {
 public:
  ScratchRegistry() {
    // In memory when the system has it: every operation is a transaction,
    // and waiting for a disk would make the run a hundred times slower.
    const char* tmp = std::getenv("TMPDIR");
    struct stat shm {};
    const std::string base = tmp && *tmp                                           ? tmp
                             : stat("/dev/shm", &shm) == 0 && S_ISDIR(shm.st_mode) ? "/dev/shm"
                                                                                   : "/tmp";
    std::string pattern = base + "/horalog-fuzz-XXXXXX";
    FUZZ_CHECK(mkdtemp(pattern.data()) != nullptr);
    folder_ = pattern;
    path_ = folder_ + "/registry.db";
    setenv("HORALOG_REGISTRY", path_.c_str(), 1);
    registry_ = new Registry(path_);
  }
  ~ScratchRegistry() {
    delete registry_;
    for (const char* suffix : {"", "-journal", "-wal", "-shm"}) unlink((path_ + suffix).c_str());
    rmdir(folder_.c_str());
  }
  Registry* get() { return registry_; }

  // Removes every key and value below HKEY_CURRENT_USER.
  void Clear() {
    std::vector<std::string> keys;
    std::vector<RegistryValue> values;
    FUZZ_CHECK(registry_->ListSubKeys(kHkeyCurrentUser, &keys).ok());
    FUZZ_CHECK(registry_->ListValues(kHkeyCurrentUser, &values).ok());
    for (const std::string& key : keys)
      FUZZ_CHECK(registry_->DeleteKey(kHkeyCurrentUser, key).ok());
    for (const RegistryValue& value : values) {
      FUZZ_CHECK(registry_->DeleteValue(kHkeyCurrentUser, value.name).ok());
    }
  }

 private:
  std::string folder_;
  std::string path_;
  Registry* registry_ = nullptr;
};

std::string ExportAll(Registry* registry) {
  std::string text;
  FUZZ_CHECK(RegFile::Export(registry, {}, &text).ok());
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  RegFile file;
  const Status parsed = file.Parse(bytes);
  FUZZ_CHECK(parsed.ok() == parsed.message().empty());
  if (!parsed.ok()) {
    FUZZ_CHECK(file.edits().empty());
    FUZZ_CHECK(parsed.message().rfind("line ", 0) == 0);
    return 0;
  }
  for (const RegFileEdit& edit : file.edits()) {
    FUZZ_CHECK(edit.line >= 2);
    if (edit.kind == RegFileEdit::Kind::DeleteKey) FUZZ_CHECK(!edit.keyPath.empty());
    // Text in the registry is UTF-8, whatever the file's encoding was.
    if (edit.kind == RegFileEdit::Kind::SetValue &&
        (edit.type == 1 || edit.type == 2 || edit.type == 7)) {
      FUZZ_CHECK(IsUtf8(std::string(edit.data.begin(), edit.data.end())));
    }
    for (const std::string& name : edit.keyPath) FUZZ_CHECK(!name.empty());
  }
  if (size > kApplyLimit) return 0;

  static ScratchRegistry scratch;
  Registry* registry = scratch.get();
  scratch.Clear();
  if (!file.Apply(registry).ok()) {
    // All or nothing: a failed file leaves no trace.
    std::vector<std::string> keys;
    std::vector<RegistryValue> values;
    FUZZ_CHECK(registry->ListSubKeys(kHkeyCurrentUser, &keys).ok() && keys.empty());
    FUZZ_CHECK(registry->ListValues(kHkeyCurrentUser, &values).ok() && values.empty());
    return 0;
  }
  const std::string exported = ExportAll(registry);
  RegFile reread;
  if (Status reparsed = reread.Parse(exported); !reparsed.ok()) {
    std::fprintf(stderr, "%s\n--- export not read back: %s\n", exported.c_str(),
                 reparsed.message().c_str());
    std::abort();
  }
  scratch.Clear();
  FUZZ_CHECK(reread.Apply(registry).ok());
  FUZZ_CHECK(ExportAll(registry) == exported);
  return 0;
}
