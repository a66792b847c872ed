// A settings registry that is not a registry (garbage, cut in half), and a
// .reg file of ten thousand keys.
#include <gtest/gtest.h>

#include <chrono>
#include <random>

#include "hostile/hostile_support.h"
#include "settings/account_settings.h"
#include "settings/reg_file.h"
#include "settings/registry.h"
#include "settings/registry_key_stack.h"
#include "support/run_tool.h"

namespace {

using namespace hostile;

// Every kind of settings read the programs make, for one account and item.
struct Readings {
  std::string dataPath, reportPath, editorPath;
  int rate = -1, atom = -1;
  RoundMode round = RoundMode::Up;
  AccountDefaults defaults;
  PeriodKind period = PeriodKind::OneWeek;
  int startDay = -1, startDate1 = -1, startDate2 = -1;
};

Readings ReadAll(const std::string& account) {
  Readings r;
  r.dataPath = ReadSetupString("DataPath");
  r.reportPath = ReadSetupString("ReportPath");
  r.editorPath = ReadSetupString("EditorPath");
  r.rate = GetAccountRate(account, "Work");
  r.atom = GetAccountAtom(account);
  r.round = GetAccountRound(account);
  LoadAccountDefaults(&r.defaults);
  r.period = GetAccountPeriod(account, r.defaults);
  r.startDay = GetAccountStartDay(account, r.defaults);
  r.startDate1 = GetAccountStartDate1(account, r.defaults);
  r.startDate2 = GetAccountStartDate2(account, r.defaults);
  return r;
}

std::string Describe(const Readings& r) {
  return r.dataPath + "|" + r.reportPath + "|" + r.editorPath + "|" + std::to_string(r.rate) + "|" +
         std::to_string(r.atom) + "|" + RoundText(r.round) + "|" + r.defaults.period + "|" +
         r.defaults.round + "|" + r.defaults.startDay + "|" +
         std::to_string(r.defaults.startDate1) + "|" + std::to_string(r.defaults.startDate2) + "|" +
         PeriodText(r.period) + "|" + std::to_string(r.startDay) + "|" +
         std::to_string(r.startDate1) + "|" + std::to_string(r.startDate2);
}

// A registry with the Setup folders and many accounts, so that half of the
// file cuts through its data.
void FillRegistry() {
  RegistryKeyStack keys;
  keys.CreatePath(kSetupKeyPath);
  keys.SetString("DataPath", "/srv/horalog/stores");
  keys.SetString("ReportPath", "/srv/horalog/reports");
  keys.SetString("EditorPath", "/usr/bin/true");
  keys.SetDword("DefaultRate", 9000);
  keys.CloseAll();
  Registry registry;
  const Status filled = registry.RunInTransaction([&] {
    RegistryKey accts = 0;
    if (!registry
             .CreateKeyPath(kHkeyCurrentUser, {"SOFTWARE", "Brackwell", "Horalog", "Accts"}, &accts)
             .ok()) {
      return false;
    }
    for (int i = 0; i < 800; ++i) {
      RegistryKey account = 0;
      const std::vector<uint8_t> atom = {15, 0, 0, 0};
      const std::string up = "Up";
      if (!registry.CreateKey(accts, "Account " + std::to_string(i), &account).ok() ||
          !registry.SetValue(account, "Atom", kRegDword, atom).ok() ||
          !registry
               .SetValue(account, "Round", kRegSz, std::vector<uint8_t>(up.begin(), up.end() + 1))
               .ok()) {
        return false;
      }
    }
    return true;
  });
  ASSERT_TRUE(filled.ok()) << filled.message();
}

}  // namespace

// Every read falls back to what an empty registry gives, nothing crashes,
// writes are refused with the tools' exit status 3, and the file keeps its
// bytes, so nothing the user might still recover is lost.
TEST(HostileRegistryFile, CorruptRegistryReadsAsDefaultsAndIsKept) {
  TestEnvironment env;
  Readings empty = ReadAll("Account 799");
  // The period getters give their documented answer for a registry that
  // cannot be read (All, Sunday, 1, 1) rather than the Default key's.
  empty.period = PeriodKind::All;
  empty.startDay = 0;
  empty.startDate1 = 1;
  empty.startDate2 = 1;
  const std::string defaults = Describe(empty);
  std::mt19937 random(11);
  std::string noise(32 * 1024, '\0');
  for (char& c : noise) c = static_cast<char>(random());
  std::string jet("\x00\x01\x00\x00Standard Jet DB\x00", 20);
  jet.resize(8192, '\x11');
  // An SQLite header with nothing behind it.
  std::string header("SQLite format 3\0", 16);
  header.resize(100, '\xff');

  for (const auto& [what, bytes] : std::vector<std::pair<std::string, std::string>>{
           {"random bytes", noise},
           {"text", "[HKEY_CURRENT_USER\\SOFTWARE]\n\"DataPath\"=\"/etc\"\n"},
           {"Jet", jet},
           {"SQLite header only", header}}) {
    SCOPED_TRACE(what);
    WriteFile(env.registryPath(), bytes);
    EXPECT_EQ(Describe(ReadAll("Account 799")), defaults);
    ToolRun get =
        RunTool("horalog-reg",
                {"get", "HKEY_CURRENT_USER\\SOFTWARE\\Brackwell\\Horalog\\Setup", "DataPath"});
    EXPECT_EQ(get.status, 3) << get.err;
    EXPECT_NE(get.err.find(env.registryPath()), std::string::npos) << get.err;
    ToolRun set = RunTool(
        "horalog-reg",
        {"set", "HKEY_CURRENT_USER\\SOFTWARE\\Brackwell\\Horalog\\Setup", "DataPath", "/tmp"});
    EXPECT_EQ(set.status, 3) << set.err;
    EXPECT_TRUE(ReadFile(env.registryPath()) == bytes);
  }
}

// Half of a real registry: every read is either what was written or the
// default, never a crash, and reading changes no byte of the file.
TEST(HostileRegistryFile, TruncatedRegistryReadsWhatItCanAndIsKept) {
  TestEnvironment env;
  const Readings fallback = ReadAll("Account 799");
  FillRegistry();
  const Readings written = ReadAll("Account 799");
  ASSERT_EQ(written.atom, 15);
  ASSERT_EQ(written.dataPath, "/srv/horalog/stores");
  const std::string whole = ReadFile(env.registryPath());
  ASSERT_GT(whole.size(), 16u * 4096u);
  const std::string half = whole.substr(0, whole.size() / 2);
  WriteFile(env.registryPath(), half);

  // Reading the first and the last of the accounts, whose keys are at both
  // ends of the file.
  for (const std::string account : {"Account 0", "Account 799"}) {
    SCOPED_TRACE(account);
    const Readings r = ReadAll(account);
    EXPECT_TRUE(r.dataPath == written.dataPath || r.dataPath == fallback.dataPath) << r.dataPath;
    EXPECT_TRUE(r.rate == written.rate || r.rate == fallback.rate) << r.rate;
    EXPECT_TRUE(r.atom == written.atom || r.atom == fallback.atom) << r.atom;
    EXPECT_TRUE(r.round == written.round || r.round == fallback.round);
  }
  EXPECT_TRUE(ReadFile(env.registryPath()) == half)
      << "the registry file changed from " << half.size() << " bytes to "
      << ReadFile(env.registryPath()).size();
}

// Ten thousand keys, each with two values, imported by horalog-reg and by
// the library: all arrive.
TEST(HostileRegistryFile, RegFileWithTenThousandKeysImportsEveryKey) {
  TestEnvironment env;
  std::string text = "REGEDIT4\r\n\r\n";
  for (int i = 0; i < 10000; ++i) {
    text += "[HKEY_CURRENT_USER\\SOFTWARE\\Brackwell\\Horalog\\Accts\\Client " + std::to_string(i) +
            "]\r\n\"Round\"=\"Up\"\r\n\"Atom\"=dword:0000000f\r\n\r\n";
  }
  const std::string file = env.dir.File("big.reg");
  WriteFile(file, text);

  auto start = std::chrono::steady_clock::now();
  ToolRun run = RunTool("horalog-reg", {"import", file});
  const auto toolTime = std::chrono::steady_clock::now() - start;
  ASSERT_EQ(run.status, 0) << run.err;
  // How long it took is noted, not asserted: speed belongs in benchmarks.
  ::testing::Test::RecordProperty(
      "import_ms",
      std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(toolTime).count()));

  Registry registry;
  RegistryKey accts = 0;
  ASSERT_TRUE(
      registry.OpenKeyPath(kHkeyCurrentUser, {"SOFTWARE", "Brackwell", "Horalog", "Accts"}, &accts)
          .ok());
  std::vector<std::string> names;
  ASSERT_TRUE(registry.ListSubKeys(accts, &names).ok());
  EXPECT_EQ(names.size(), 10000u);
  EXPECT_EQ(GetAccountAtom("Client 9999"), 15);
  EXPECT_EQ(GetAccountRound("Client 0"), RoundMode::Up);

  // The library, into a fresh registry file.
  ScopedEnv other("HORALOG_REGISTRY", env.dir.File("other.db"));
  start = std::chrono::steady_clock::now();
  RegFile reg;
  const Status parsed = reg.Parse(text);
  ASSERT_TRUE(parsed.ok()) << parsed.message();
  Registry fresh;
  const Status applied = reg.Apply(&fresh);
  ASSERT_TRUE(applied.ok()) << applied.message();
  ::testing::Test::RecordProperty(
      "apply_ms", std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now() - start)
                                     .count()));
  EXPECT_EQ(GetAccountAtom("Client 5000"), 15);
}
