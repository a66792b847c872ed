// Tests of the registry file: name folding, key trees, transactions, files
// that are not registries, and two processes writing at once.
#include "settings/registry.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "support/test_env.h"

namespace {

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

RegistryKey MustCreate(Registry& registry, const std::vector<std::string>& names) {
  RegistryKey key = 0;
  const Status created = registry.CreateKeyPath(kHkeyCurrentUser, names, &key);
  EXPECT_TRUE(created.ok()) << created.message();
  return key;
}

}  // namespace

TEST(Registry, KeyAndValueNamesCompareWithSimpleCaseFolding) {
  TestEnvironment env;
  Registry registry(env.registryPath());
  const RegistryKey software = MustCreate(registry, {"SOFTWARE"});
  RegistryKey key = 0;
  ASSERT_TRUE(registry.OpenKey(kHkeyCurrentUser, "software", &key).ok());
  EXPECT_EQ(key, software);
  ASSERT_TRUE(registry.CreateKey(kHkeyCurrentUser, "Software", &key).ok());
  EXPECT_EQ(key, software);
  std::string name;
  ASSERT_TRUE(registry.KeyName(software, &name).ok());
  EXPECT_EQ(name, "SOFTWARE");

  // Per-character folding: ß does not become "ss", so these are two keys,
  // while the Greek capitals, final sigma included, fold to one.
  EXPECT_NE(MustCreate(registry, {"Straße"}), MustCreate(registry, {"STRASSE"}));
  EXPECT_EQ(MustCreate(registry, {"ΣΑΣ"}), MustCreate(registry, {"σας"}));
  EXPECT_EQ(FoldCase("ÀÉ Ǆ"), "àé ǆ");
  EXPECT_EQ(FoldCase("a\xFF"
                     "B"),
            "a\xFF"
            "b");  // bytes that are not UTF-8 are kept

  ASSERT_TRUE(registry.SetValue(software, "DataPath", kRegSz, Bytes("one")).ok());
  ASSERT_TRUE(registry.SetValue(software, "DATAPATH", kRegSz, Bytes("two")).ok());
  std::vector<RegistryValue> values;
  ASSERT_TRUE(registry.ListValues(software, &values).ok());
  ASSERT_EQ(values.size(), 1u);
  EXPECT_EQ(values[0].name, "DataPath");  // the case first written stays
  EXPECT_EQ(values[0].data, Bytes("two"));
  RegistryValue value;
  ASSERT_TRUE(registry.QueryValue(software, "datapath", &value).ok());
  EXPECT_EQ(value.data, Bytes("two"));
}

TEST(Registry, KeysGoWithEverythingBelowThem) {
  TestEnvironment env;
  Registry registry(env.registryPath());
  const RegistryKey deep = MustCreate(registry, {"A", "B", "C"});
  const RegistryKey kept = MustCreate(registry, {"A2"});
  ASSERT_TRUE(registry.SetValue(deep, "v", kRegDword, {1, 0, 0, 0}).ok());
  ASSERT_TRUE(registry.SetValue(kept, "v", kRegDword, {2, 0, 0, 0}).ok());

  ASSERT_TRUE(registry.DeleteKey(kHkeyCurrentUser, "a").ok());
  RegistryKey key = 0;
  EXPECT_EQ(registry.OpenKeyPath(kHkeyCurrentUser, {"A"}, &key).code(), Registry::kNotFound);
  EXPECT_FALSE(registry.SetValue(deep, "v", kRegSz, {}).ok());  // the old handle is gone too
  // Created anew, the sub-key holds none of its old values.
  std::vector<RegistryValue> values;
  ASSERT_TRUE(registry.ListValues(MustCreate(registry, {"A", "B", "C"}), &values).ok());
  EXPECT_TRUE(values.empty());
  RegistryValue value;
  EXPECT_TRUE(registry.QueryValue(kept, "v", &value).ok());

  EXPECT_EQ(registry.DeleteKey(kHkeyCurrentUser, "missing").code(), Registry::kNotFound);
  EXPECT_EQ(registry.DeleteValue(kept, "missing").code(), Registry::kNotFound);
  EXPECT_FALSE(registry.CreateKey(kHkeyCurrentUser, "", &key).ok());
  const Status badName = registry.CreateKey(kHkeyCurrentUser, "x\\y", &key);
  EXPECT_FALSE(badName.ok());
  EXPECT_NE(badName.code(), Registry::kNotFound);

  // Listings come in case-folded name order.
  MustCreate(registry, {"L", "b"});
  MustCreate(registry, {"L", "A"});
  MustCreate(registry, {"L", "c"});
  std::vector<std::string> names;
  ASSERT_TRUE(registry.ListSubKeys(MustCreate(registry, {"L"}), &names).ok());
  EXPECT_EQ(names, (std::vector<std::string>{"A", "b", "c"}));
}

TEST(Registry, TransactionsAreAllOrNothing) {
  TestEnvironment env;
  Registry registry(env.registryPath());
  const RegistryKey key = MustCreate(registry, {"K"});
  // Failed work fails with its last operation's failure.
  EXPECT_EQ(registry
                .RunInTransaction([&] {
                  return registry.SetValue(key, "a", kRegSz, Bytes("x")).ok() &&
                         registry
                             .SetValue(MustCreate(registry, {"K", "Sub"}), "b", kRegSz, Bytes("y"))
                             .ok() &&
                         registry.DeleteValue(key, "missing").ok();
                })
                .code(),
            Registry::kNotFound);
  RegistryValue value;
  RegistryKey sub = 0;
  EXPECT_FALSE(registry.QueryValue(key, "a", &value).ok());
  EXPECT_FALSE(registry.OpenKeyPath(kHkeyCurrentUser, {"K", "Sub"}, &sub).ok());

  EXPECT_TRUE(
      registry
          .RunInTransaction([&] {
            return registry.SetValue(key, "a", kRegSz, Bytes("x")).ok() &&
                   registry.RunInTransaction([&] { return registry.DeleteValue(key, "a").ok(); })
                       .ok() &&
                   registry.SetValue(key, "b", kRegSz, Bytes("y")).ok();
          })
          .ok());
  Registry other(env.registryPath());
  EXPECT_FALSE(other.QueryValue(key, "a", &value).ok());
  EXPECT_TRUE(other.QueryValue(key, "b", &value).ok());
}

TEST(Registry, LockHeldByAnotherConnectionIsReported) {
  TestEnvironment env;
  Registry registry(env.registryPath());
  const RegistryKey key = MustCreate(registry, {"K"});
  ASSERT_TRUE(registry.SetValue(key, "old", kRegSz, Bytes("x")).ok());
  registry.SetBusyTimeout(50);
  Registry holder(env.registryPath());
  ASSERT_TRUE(holder
                  .RunInTransaction([&] {
                    EXPECT_TRUE(holder.SetValue(key, "held", kRegSz, Bytes("y")).ok());
                    const Status locked = registry.SetValue(key, "new", kRegSz, Bytes("z"));
                    EXPECT_FALSE(locked.ok());
                    EXPECT_NE(locked.code(), Registry::kNotFound);
                    EXPECT_NE(locked.message().find("locked"), std::string::npos)
                        << locked.message();
                    RegistryKey found = 0;
                    EXPECT_FALSE(registry.CreateKey(key, "Missing", &found).ok());
                    // Reading needs no write lock, and an existing key is found without one.
                    RegistryValue value;
                    EXPECT_TRUE(registry.QueryValue(key, "old", &value).ok());
                    EXPECT_TRUE(registry.CreateKey(kHkeyCurrentUser, "k", &found).ok());
                    return true;
                  })
                  .ok());
  RegistryValue value;
  EXPECT_TRUE(registry.QueryValue(key, "held", &value).ok());
  EXPECT_FALSE(registry.QueryValue(key, "new", &value).ok());
}

TEST(Registry, FilesThatAreNotRegistriesAreRefusedAndLeftAlone) {
  TestEnvironment env;
  // Not a database at all, and another program's database.
  const std::string garbage = env.dir.File("garbage.db");
  std::string noise;
  for (int i = 0; i < 4096; ++i) noise.push_back(static_cast<char>((i * 7919) % 251));
  std::ofstream(garbage, std::ios::binary) << noise;
  const std::string foreign = env.dir.File("foreign.db");
  {
    SqliteConnection connection;
    ASSERT_EQ(connection.Open(foreign, true), 0);
    ASSERT_EQ(connection.Exec("CREATE TABLE accountName (id INTEGER)"), 0);
  }
  for (const std::string& path : {garbage, foreign}) {
    SCOPED_TRACE(path);
    const std::string before = ReadBytes(path);
    Registry registry(path);
    RegistryKey key = 0;
    RegistryValue value;
    std::vector<std::string> names;
    const Status refused = registry.CreateKey(kHkeyCurrentUser, "SOFTWARE", &key);
    EXPECT_FALSE(refused.ok());
    EXPECT_NE(refused.code(), Registry::kNotFound);
    EXPECT_FALSE(refused.message().empty());
    EXPECT_FALSE(registry.OpenKey(kHkeyCurrentUser, "SOFTWARE", &key).ok());
    EXPECT_FALSE(registry.SetValue(kHkeyCurrentUser, "v", kRegSz, Bytes("x")).ok());
    EXPECT_FALSE(registry.QueryValue(kHkeyCurrentUser, "v", &value).ok());
    EXPECT_FALSE(registry.ListSubKeys(kHkeyCurrentUser, &names).ok());
    EXPECT_FALSE(registry.RunInTransaction([] { return true; }).ok());
    EXPECT_EQ(ReadBytes(path), before);
  }
}

TEST(Registry, FileAndFolderAreMadeOnFirstUseWhereTheEnvironmentSays) {
  TestEnvironment env;
  EXPECT_EQ(Registry::DefaultPath(), env.registryPath());
  {
    ScopedEnv unset("HORALOG_REGISTRY", std::nullopt);
    ScopedEnv config("XDG_CONFIG_HOME", env.dir.File("config"));
    EXPECT_EQ(Registry::DefaultPath(), env.dir.File("config") + "/horalog/registry.db");
  }
  const std::string path = env.dir.File("new/folder/registry.db");
  Registry registry(path);
  RegistryKey key = 0;
  EXPECT_EQ(registry.OpenKey(kHkeyCurrentUser, "SOFTWARE", &key).code(), Registry::kNotFound);
  EXPECT_FALSE(ReadBytes(path).empty());
}

TEST(Registry, TwoProcessesWritingAtOnceLoseNothing) {
  TestEnvironment env;
  constexpr int kValues = 100;
  std::vector<pid_t> children;
  for (int child = 0; child < 2; ++child) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      // Each operation on its own object, as the lookups do: open, write, close.
      bool ok = true;
      for (int i = 0; i < kValues && ok; ++i) {
        Registry registry(env.registryPath());
        RegistryKey key = 0;
        ok = registry
                 .CreateKeyPath(kHkeyCurrentUser, {"Shared", "Key" + std::to_string(i % 7)}, &key)
                 .ok() &&
             registry
                 .SetValue(key, "p" + std::to_string(child) + "_" + std::to_string(i), kRegDword,
                           {static_cast<uint8_t>(i), 0, 0, 0})
                 .ok();
      }
      _exit(ok ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  Registry registry(env.registryPath());
  std::vector<std::string> keys;
  ASSERT_TRUE(registry.ListSubKeys(MustCreate(registry, {"Shared"}), &keys).ok());
  EXPECT_EQ(keys.size(), 7u);
  for (int child = 0; child < 2; ++child) {
    for (int i = 0; i < kValues; ++i) {
      RegistryValue value;
      EXPECT_TRUE(registry
                      .QueryValue(MustCreate(registry, {"Shared", "Key" + std::to_string(i % 7)}),
                                  "p" + std::to_string(child) + "_" + std::to_string(i), &value)
                      .ok());
      EXPECT_EQ(value.data[0], static_cast<uint8_t>(i));
    }
  }
}
