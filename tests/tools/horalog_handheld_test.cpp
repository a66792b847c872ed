// Tests of horalog-handheld, run as a process on real images.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>

#include "emulator/emulated_handheld.h"
#include "emulator/handheld_image.h"
#include "support/run_tool.h"
#include "support/test_env.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

using Outcome = ToolRun;

class HoralogHandheldTest : public ::testing::Test {
 protected:
  // Runs the tool with args in folder cwd (the test's folder by default).
  Outcome Run(const std::vector<std::string>& args, std::string cwd = {}) {
    return RunTool("horalog-handheld", args, "/dev/null", cwd.empty() ? dir.path() : cwd);
  }

  static std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  std::string Show(const std::string& image) { return Run({"show", image}).out; }

  TempDir dir;
  ScopedEnv dockEnv{"HORALOG_HANDHELD", dir.File("dock/sub/handheld.hhd")};
};

TEST_F(HoralogHandheldTest, FillsAndShowsAHandheld) {
  const std::string image = dir.File("h.hhd");
  const std::vector<std::vector<std::string>> steps = {
      {"create", image, "--name", "Pocket PC", "--owner", "J\xC3\xB6ran"},
      {"account", image, "1", "Acme"},
      {"account", image, "-2", "Bee"},
      {"account", image, "1", "Acme Ltd"},
      {"item", image, "10", "1", "Design"},
      {"item", image, "10", "-2", "Moved"},
      {"record", image, "7", "2003-03-15", "1", "10", "first"},
      {"span", image, "7", "09:30", "45"},
      {"span", image, "7", "13:00:15", "30"},
      {"record", image, "7", "2004-02-29", "1", "10", "tab\there\nline \\ back"},
      {"record", image, "8", "2003-01-02", "-2", "10"},
      {"record", image, "9", "2003-01-03", "1", "10", "--raw-utf16", "0041D800"},
      {"record", image, "6", "2003-01-04", "1", "10", std::string(300, 'x')}};
  for (const auto& step : steps) {
    const Outcome o = Run(step);
    EXPECT_EQ(o.status, 0) << step[0] << ": " << o.err;
    EXPECT_EQ(o.out, "");
  }
  const std::string spans = "[HLTime]\n7\t34200\t45\n7\t46815\t30\n";
  const Outcome shown = Run({"show", image});
  EXPECT_EQ(shown.status, 0);
  EXPECT_EQ(shown.out,
            "Name\tPocket PC\nOwner\tJ\xC3\xB6ran\n"
            "[HLAccountName]\n-2\tBee\n1\tAcme Ltd\n"
            "[HLItemName]\n10\t-2\tMoved\n"
            "[HLGroup]\n6\t131268868\t1\t10\t" +
                std::string(300, 'x') +
                "\n"
                "7\t131334685\t1\t10\ttab\\there\\nline \\\\ back\n"
                "8\t131268866\t-2\t10\t\n"
                "9\t131268867\t1\t10\tA\\uD800\n" +
                spans);

  Outcome removed = Run({"remove", image, "HLTime", "7"});
  EXPECT_EQ(removed.status, 0);
  EXPECT_EQ(removed.out, "2\n");
  removed = Run({"remove", image, "HLGroup", "99"});
  EXPECT_EQ(removed.out, "0\n");
  EXPECT_EQ(Show(image).find("\n7\t34200"), std::string::npos);
}

TEST_F(HoralogHandheldTest, RefusesBadArgumentsAndLeavesTheImage) {
  const std::string image = dir.File("h.hhd");
  ASSERT_EQ(Run({"create", image, "--name", "P"}).status, 0);
  ASSERT_EQ(Run({"record", image, "1", "2003-01-01", "1", "1", "kept"}).status, 0);
  std::ofstream(dir.File("text")) << "not an image";
  const std::string before = Show(image);
  const std::vector<std::vector<std::string>> bad = {
      {"create", image, "--name", "Q"},
      {"account", image, "x", "A"},
      {"account", image, "2147483648", "A"},
      {"account", image, "1", "bad \xFF text"},
      {"record", image, "1", "2003-02-29", "1", "1"},
      {"record", image, "1", "2003-13-01", "1", "1"},
      {"record", image, "1", "03/15/2003", "1", "1"},
      {"record", image, "1", "2003-01-01", "1", "1", "n", "--raw-utf16", "0041"},
      {"record", image, "1", "2003-01-01", "1", "1", "--raw-utf16", "0041D8"},
      {"record", image, "1", "2003-01-01", "1", "1", "--raw-utf16", "zzzz"},
      {"span", image, "1", "24:00", "5"},
      {"span", image, "1", "9:30", "5"},
      {"span", image, "1", "09:30", "-5"},
      {"remove", image, "HLFoo", "1"},
      {"fault", image, "bogus", "HLGroup"},
      {"fault", image, "open"},
      {"fault", image, "open", "HLOther"},
      {"fault", image, "seek", "HLGroup", "-1"},
      {"fault", image, "delay", "soon"},
      {"generate", image, "--records", "65536"},
      {"account", dir.File("missing.hhd"), "1", "A"},
      {"account", dir.File("text"), "1", "A"},
      {"show", dir.File("text")},
      {"dock", dir.File("text")},
      {}};
  for (const auto& args : bad) {
    const Outcome o = Run(args);
    EXPECT_EQ(o.status, 1) << (args.empty() ? "(none)" : args[0] + " " + args.back());
    EXPECT_NE(o.err, "") << (args.empty() ? "(none)" : args[0] + " " + args.back());
  }
  EXPECT_EQ(Show(image), before);
  EXPECT_EQ(Slurp(dir.File("text")), "not an image");
  EXPECT_EQ(Run({"create", image, "--name", "Q", "--force"}).status, 0);
  EXPECT_EQ(Show(image), "Name\tQ\nOwner\t\n[HLAccountName]\n[HLItemName]\n[HLGroup]\n[HLTime]\n");
}

TEST_F(HoralogHandheldTest, FaultsReachTheImage) {
  const std::string image = dir.File("h.hhd");
  ASSERT_EQ(Run({"create", image, "--name", "P"}).status, 0);
  for (const std::vector<std::string>& args : {std::vector<std::string>{"open", "HLGroup"},
                                               {"count", "HLItemName"},
                                               {"seek", "HLGroup", "3"},
                                               {"read", "HLTime", "65534"},
                                               {"short", "HLAccountName"},
                                               {"delay", "250"}}) {
    std::vector<std::string> full = {"fault", image};
    full.insert(full.end(), args.begin(), args.end());
    EXPECT_EQ(Run(full).status, 0) << args[0];
  }
  HandheldImage handheld(image);
  std::vector<HandheldFaultEntry> faults;
  ASSERT_TRUE(handheld.Faults(&faults).ok());
  std::multiset<std::string> seen;
  for (const auto& f : faults) {
    seen.insert(std::to_string(static_cast<int>(f.what)) + f.database + std::to_string(f.n));
  }
  EXPECT_EQ(seen, (std::multiset<std::string>{"0HLGroup0", "1HLItemName0", "2HLGroup3",
                                              "3HLTime65534", "4HLAccountName0"}));
  EXPECT_EQ(handheld.Delay(), 250);
  EXPECT_EQ(Run({"fault", image, "clear"}).status, 0);
  ASSERT_TRUE(handheld.Faults(&faults).ok());
  EXPECT_TRUE(faults.empty());
  EXPECT_EQ(handheld.Delay(), 0);
}

TEST_F(HoralogHandheldTest, GenerateIsRepeatableForASeed) {
  std::string shown[3];
  const char* seeds[3] = {"3", "3", "4"};
  for (int i = 0; i < 3; ++i) {
    const std::string image = dir.File("g" + std::to_string(i));
    ASSERT_EQ(Run({"create", image, "--name", "G"}).status, 0);
    const Outcome o = Run({"generate", image, "--records", "50", "--spans-per-record", "2",
                           "--accounts", "2", "--items-per-account", "3", "--seed", seeds[i]});
    EXPECT_EQ(o.status, 0) << o.err;
    shown[i] = Show(image);
  }
  EXPECT_EQ(shown[0], shown[1]);
  EXPECT_NE(shown[0], shown[2]);
  // Name, owner, four headers, 2 accounts, 6 items, 50 records, 100 spans.
  EXPECT_EQ(std::count(shown[0].begin(), shown[0].end(), '\n'), 6 + 2 + 6 + 50 + 100);
  std::vector<std::vector<CeValue>> records;
  ASSERT_TRUE(HandheldImage(dir.File("g0")).Records("HLGroup", &records).ok());
  for (const auto& r : records) {
    EXPECT_EQ((r[3].integer - 1) / 3 + 1, r[2].integer) << "the item belongs to the account";
    const int month = (r[1].integer >> 8) & 0xFF, day = r[1].integer & 0xFF;
    EXPECT_TRUE(r[1].integer >> 16 >= 2003 && month >= 1 && month <= 12 && day >= 1 && day <= 31);
  }
  EXPECT_EQ(
      Run({"generate", dir.File("g0"), "--records", "40000", "--spans-per-record", "2"}).status, 1);
}

TEST_F(HoralogHandheldTest, DocksByLinkOnly) {
  ASSERT_EQ(Run({"create", dir.File("a.hhd"), "--name", "Handheld A"}).status, 0);
  ASSERT_EQ(Run({"create", dir.File("b.hhd"), "--name", "Handheld B"}).status, 0);
  const std::string dock = dir.File("dock/sub/handheld.hhd");
  Outcome o = Run({"docked"});
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.out + o.err, "");

  // A relative IMAGE is linked by its absolute path; the dock folder is made.
  EXPECT_EQ(Run({"dock", "a.hhd"}).status, 0);
  EXPECT_EQ(fs::read_symlink(dock), fs::path(dir.File("a.hhd")));
  EXPECT_EQ(Run({"docked"}).out, dir.File("a.hhd") + "\n");
  EmulatedHandheld handheld;
  RapiInit init;
  ASSERT_EQ(handheld.CeRapiInitEx(&init), 0);
  ASSERT_TRUE(init.heRapiInit->Wait(5000));
  EXPECT_EQ(init.heRapiInit->result(), 0);

  EXPECT_EQ(Run({"dock", dir.File("b.hhd")}).status, 0);
  o = Run({"docked"});
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.out, dir.File("b.hhd") + "\n");
  EXPECT_EQ(Run({"undock"}).status, 0);
  EXPECT_FALSE(fs::exists(fs::symlink_status(dock)));
  EXPECT_EQ(Run({"undock"}).status, 0);
  EXPECT_EQ(Run({"docked"}).status, 1);
  EXPECT_NE(Show(dir.File("a.hhd")).find("Handheld A"), std::string::npos);
  EXPECT_NE(Show(dir.File("b.hhd")).find("Handheld B"), std::string::npos);

  // An image placed at the dock itself is docked, and is never replaced or removed.
  fs::copy_file(dir.File("a.hhd"), dock);
  EXPECT_EQ(Run({"dock", dir.File("b.hhd")}).status, 1);
  EXPECT_EQ(Run({"undock"}).status, 1);
  EXPECT_EQ(Run({"docked"}).out, dock + "\n");
  EXPECT_NE(Show(dock).find("Handheld A"), std::string::npos);
}

}  // namespace
