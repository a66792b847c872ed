// SynCE's own programs, written outside this project, as clients of a
// served image docked the way a handheld on USB is, through dccm: what each
// prints is what the image holds, as a device would have it printed.
#if HORALOG_HAVE_RAPI && defined(HORALOG_SYNCE_PREFIX)

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "support/dccm_dock.h"
#include "support/handheld_fixture.h"
#include "support/run_tool.h"

namespace {

std::string Hex(uint32_t n) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%x", n);
  return text;
}

}  // namespace

TEST(SynceTools, PrintTheImageDockedThroughDccm) {
  HandheldFixture env;  // \Ident\Name "Pocket PC", \ControlPanel\Owner\Owner "Jane Doe"
  ASSERT_TRUE(env.image.Generate({.records = 12, .accounts = 2, .itemsPerAccount = 3}).ok());
  ASSERT_TRUE(env.image
                  .SetRegistryValue(HKEY_CE_LOCAL_MACHINE, u"\\Ident", u"Desc", CE_REG_SZ,
                                    RegistryText(u"Jane's handheld"))
                  .ok());
  ASSERT_TRUE(env.image
                  .SetRegistryValue(HKEY_CE_LOCAL_MACHINE, u"\\Software\\Horalog", u"Version",
                                    4 /* REG_DWORD */, {2, 1, 0, 0})
                  .ok());
  DccmDock dock(env.imagePath(), env.dir.File("dock"));
  ASSERT_TRUE(dock.started());
  const std::string bin = std::string(HORALOG_SYNCE_PREFIX) + "/bin/";
  for (const char* program : {"synce-pstatus", "synce-registry", "synce-database"}) {
    ASSERT_TRUE(std::filesystem::exists(bin + program))
        << "SynCE's programs are built with its library: " << bin << program << " is missing";
  }

  // What the image's databases and store make the programs print.
  std::string databases;
  for (size_t i = 0; i < std::size(kHandheldDatabases); ++i) {
    CeOid oid = 0;
    ASSERT_TRUE(env.image.FindDatabase(kHandheldDatabases[i], &oid).ok());
    char line[160];
    std::snprintf(line, sizeof line, "Database %3zu: \"%s\" (oid=%s, type=0x0, rows=%lld)\n", i,
                  kHandheldDatabases[i], Hex(oid).c_str(),
                  static_cast<long long>(env.image.RecordCount(kHandheldDatabases[i])));
    databases += line;
  }
  const auto used = static_cast<long long>(std::filesystem::file_size(env.imagePath()));
  const long long free = 16 * 1024 * 1024 - used;

  // The owner's name, dumped as binary (the program prints a line past the end).
  const std::string owner =
      "\"Owner\"{REG_BINARY} = REG_BINARY (18 bytes):\n"
      "  0000: 4a 00 61 00 6e 00 65 00  J.a.n.e.\n"
      "  0008: 20 00 44 00 6f 00 65 00  ..D.o.e.\n"
      "  0010: 00 00                    ..      \n"
      "  0018:                                  \n";
  struct Case {
    std::string program;
    std::vector<std::string> args;
    std::string out;
  };
  const Case cases[] = {
      {"synce-pstatus",
       {},
       "Version\n=======\n"
       "Version:    4.20.1081 (Ozone: Pocket PC 2003 (?))\n"
       "Platform:   3 (Windows CE)\n"
       "Details:    \"\"\n\n"
       "System\n======\n"
       "Processor architecture: 5 (ARM)\n"
       "Processor type:         2577 (StrongARM)\n"
       "Page size:              0x10000\n\n"
       "Power\n=====\n"
       "ACLineStatus: 01 (Online)\n\n"
       "Status for main battery\n=========================\n"
       "Flag:          1 (High)\nLifePercent:   100%\nLifeTime:      Unknown\n"
       "FullLifeTime:  Unknown\n\n"
       "Status for backup battery\n=========================\n"
       "Flag:          1 (High)\nLifePercent:   100%\nLifeTime:      Unknown\n"
       "FullLifeTime:  Unknown\n\n"
       "Store\n=====\n"
       "Store size: 16777216 bytes (16 megabytes)\n"
       "Free space: " +
           std::to_string(free) + " bytes (" + std::to_string(free / (1024 * 1024)) +
           " megabytes)\n\n"
           "Memory for storage: 16777216 bytes (16 megabytes)\n"
           "Memory for RAM:     16777216 bytes (16 megabytes)\n\n"},
      {"synce-registry",
       {"HKLM", "Ident", "Name"},
       "[HKEY_LOCAL_MACHINE\\Ident]\n\"Name\"{REG_SZ} = \"Pocket PC\"\n"},
      {"synce-registry",
       {"HKLM", "Software/Horalog", "version"},
       "[HKEY_LOCAL_MACHINE\\Software\\Horalog]\n\"version\"{REG_DWORD} = 00000102\n"},
      {"synce-registry",
       {"-l", "HKLM", "Ident"},
       "\n[HKEY_LOCAL_MACHINE\\Ident]\n"
       "\"Desc\"{REG_SZ} = \"Jane's handheld\"\n"
       "\"Name\"{REG_SZ} = \"Pocket PC\"\n"},
      // The root itself (an empty key opens it), its keys as the image
      // keeps their names.
      {"synce-registry",
       {"-l", "HKLM", ""},
       "\n[HKEY_LOCAL_MACHINE\\]\n\n[HKEY_LOCAL_MACHINE\\\\ident]\n\n"
       "[HKEY_LOCAL_MACHINE\\\\software]\n"},
      {"synce-registry",
       {"-L", "-l", "HKCU", "ControlPanel"},
       "\n[HKEY_CURRENT_USER\\ControlPanel]\n\n[HKEY_CURRENT_USER\\ControlPanel\\owner]\n" + owner},
      // The whole registry, root by root.
      {"synce-registry",
       {"-D"},
       "\n[HKEY_LOCAL_MACHINE]\n\n[HKEY_LOCAL_MACHINE\\ident]\n"
       "\"Desc\"{REG_SZ} = \"Jane's handheld\"\n\"Name\"{REG_SZ} = \"Pocket PC\"\n"
       "\n[HKEY_LOCAL_MACHINE\\software]\n\n[HKEY_LOCAL_MACHINE\\software\\horalog]\n"
       "\"Version\"{REG_DWORD} = 00000102\n"
       "\n[HKEY_CURRENT_USER]\n\n[HKEY_CURRENT_USER\\controlpanel]\n"
       "\n[HKEY_CURRENT_USER\\controlpanel\\owner]\n" +
           owner + "\n[HKEY_CLASSES_ROOT]\n"},
      // Every database found at once, then one by one; then the program's
      // own database, which this handheld does not have.
      {"synce-database", {}, "Number of databases: 4\n" + databases + databases},
  };
  for (const Case& c : cases) {
    const ToolRun run = RunTool(bin + c.program, c.args);
    EXPECT_EQ(run.status, 0) << c.program << " " << ::testing::PrintToString(c.args) << run.err;
    EXPECT_EQ(run.out, c.out) << c.program << " " << ::testing::PrintToString(c.args);
    if (c.program == "synce-database") {
      EXPECT_NE(run.err.find("error opening database pmailAttachs"), std::string::npos) << run.err;
    }
  }
  // A key or a value that is not there.
  const ToolRun missing = RunTool(bin + "synce-registry", {"HKLM", "Ident", "Nothing"});
  EXPECT_NE(missing.err.find("Failed to get size of value 'HKEY_LOCAL_MACHINE\\Ident\\Nothing'"),
            std::string::npos)
      << missing.err;
  const ToolRun noKey = RunTool(bin + "synce-registry", {"-l", "HKLM", "Nowhere"});
  EXPECT_NE(noKey.err.find("Failed to open key: 'HKEY_LOCAL_MACHINE\\Nowhere'"), std::string::npos)
      << noKey.err;
}

#endif  // HORALOG_HAVE_RAPI && HORALOG_SYNCE_PREFIX
