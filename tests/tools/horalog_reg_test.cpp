// Tests of horalog-reg, run as a real process on a real registry file, and
// of the provisioning it runs.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/utf16.h"
#include "settings/provisioning.h"
#include "settings/registry.h"
#include "support/run_tool.h"
#include "support/test_env.h"

extern char** environ;

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// Runs horalog-reg with args in the current environment.
ToolRun Tool(const std::vector<std::string>& args, const std::string& input = "/dev/null") {
  return RunTool("horalog-reg", args, input);
}

const std::string kSetup = "HKEY_CURRENT_USER\\SOFTWARE\\Brackwell\\Horalog\\Setup";

}  // namespace

TEST(HoralogReg, GetSetDeleteAndList) {
  TestEnvironment env;
  EXPECT_EQ(Tool({"set", kSetup, "DataPath", "/data/stores/"}).status, 0);
  EXPECT_EQ(Tool({"set", "--dword", kSetup, "DefaultRate", "1250"}).status, 0);
  EXPECT_EQ(
      Tool({"set", "HKCU\\SOFTWARE\\Brackwell\\Horalog\\Setup", "Flag", "0x10", "--dword"}).status,
      0);
  EXPECT_EQ(Tool({"set", kSetup, "Max", "4294967295", "--dword"}).status, 0);
  EXPECT_EQ(Tool({"set", "--string", kSetup, "Symbol", "€"}).status, 0);
  EXPECT_EQ(Tool({"set", kSetup, "Number", "12"}).status, 0);  // a string when not told

  ToolRun get = Tool({"get", "hkcu\\software\\BRACKWELL\\horalog\\setup", "defaultrate"});
  EXPECT_EQ(get.status, 0);
  EXPECT_EQ(get.out, "1250\n");
  EXPECT_EQ(Tool({"get", kSetup, "Flag"}).out, "16\n");
  EXPECT_EQ(Tool({"get", kSetup, "Max"}).out, "4294967295\n");
  EXPECT_EQ(Tool({"get", kSetup, "DataPath"}).out, "/data/stores/\n");
  EXPECT_EQ(Tool({"list", kSetup}).out,
            "DataPath\tREG_SZ\t/data/stores/\n"
            "DefaultRate\tREG_DWORD\t1250\n"
            "Flag\tREG_DWORD\t16\n"
            "Max\tREG_DWORD\t4294967295\n"
            "Number\tREG_SZ\t12\n"
            "Symbol\tREG_SZ\t€\n");
  EXPECT_EQ(Tool({"list"}).out, "[SOFTWARE]\n");
  EXPECT_EQ(Tool({"list", "HKCU\\SOFTWARE\\Brackwell"}).out, "[Horalog]\n");

  // Missing keys and values: status 1, a message, nothing on standard output.
  for (const std::vector<std::string>& args : {std::vector<std::string>{"get", kSetup, "Missing"},
                                               {"get", kSetup + "\\Missing", "x"},
                                               {"list", "HKCU\\Missing"},
                                               {"delete", kSetup, "Missing"},
                                               {"delete", "HKCU\\Missing"},
                                               {"export", "HKCU\\Missing"}}) {
    const ToolRun run = Tool(args);
    EXPECT_EQ(run.status, 1) << args[0] << " " << args[1];
    EXPECT_TRUE(run.out.empty());
    EXPECT_FALSE(run.err.empty());
  }

  // Bad usage: status 2, with the reason.
  const std::vector<std::pair<std::vector<std::string>, std::string>> bad = {
      {{}, ""},
      {{"get", kSetup}, ""},
      {{"frobnicate"}, ""},
      {{"set", kSetup, "x", "12a", "--dword"}, "not a DWORD"},
      {{"set", kSetup, "x", "4294967296", "--dword"}, "not a DWORD"},
      {{"set", kSetup, "x", "-1", "--dword"}, ""},
      {{"set", kSetup, "x", "1", "--dword", "--string"}, ""},
      {{"set", kSetup, "x", "\xC3("}, "UTF-8"},
      {{"get", "HKEY_LOCAL_MACHINE\\SOFTWARE", "x"}, "only HKEY_CURRENT_USER"},
      {{"list", "SOFTWARE\\Brackwell"}, "HKEY_CURRENT_USER"},
      {{"delete", "HKCU"}, "cannot be deleted"},
      {{"import", env.dir.File("missing.reg")}, "cannot read"},
      {{"provision", "--template-dir", env.dir.path()}, "HR_Template.mdb"},
  };
  for (const auto& [args, message] : bad) {
    const ToolRun run = Tool(args);
    EXPECT_EQ(run.status, 2) << (args.empty() ? "" : args[0]);
    EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
  }
  EXPECT_EQ(Tool({"get", kSetup, "x"}).status, 1);  // none of the bad writes happened

  EXPECT_EQ(Tool({"delete", kSetup, "FLAG"}).status, 0);
  EXPECT_EQ(Tool({"get", kSetup, "Flag"}).status, 1);
  EXPECT_EQ(Tool({"delete", "HKCU\\SOFTWARE\\Brackwell"}).status, 0);
  EXPECT_EQ(Tool({"get", kSetup, "DefaultRate"}).status, 1);
  EXPECT_EQ(Tool({"list", "HKCU\\SOFTWARE"}).out, "");
  EXPECT_EQ(Tool({"--help"}).status, 0);
}

TEST(HoralogReg, ExportAndImportCarrySettingsOver) {
  TestEnvironment env;
  Tool({"set", kSetup, "Path", "C:\\Reports \"2003\""});
  Tool({"set", kSetup, "DefaultRate", "0x4e2", "--dword"});
  Tool({"set", "HKCU\\SOFTWARE\\Brackwell\\Horalog\\Accts\\Müller & Söhne\\All", "Rate", "900",
        "--dword"});
  const ToolRun exported = Tool({"export"});
  ASSERT_EQ(exported.status, 0) << exported.err;
  EXPECT_NE(exported.out.find("[HKEY_CURRENT_USER\\SOFTWARE\\Brackwell\\Horalog\\Accts\\Müller & "
                              "Söhne\\All]\n\"Rate\"=dword:00000384\n"),
            std::string::npos);
  ASSERT_EQ(Tool({"export", "HKCU", env.dir.File("all.reg")}).status, 0);
  EXPECT_EQ(ReadFile(env.dir.File("all.reg")), exported.out);
  const ToolRun setupOnly = Tool({"export", kSetup});
  EXPECT_EQ(setupOnly.out,
            "Windows Registry Editor Version 5.00\n\n[" + kSetup +
                "]\n\"DefaultRate\"=dword:000004e2\n\"Path\"=\"C:\\\\Reports \\\"2003\\\"\"\n\n");

  {
    ScopedEnv other("HORALOG_REGISTRY", env.dir.File("other.db"));
    ASSERT_EQ(Tool({"import", env.dir.File("all.reg")}).status, 0);
    EXPECT_EQ(Tool({"export"}).out, exported.out);
    EXPECT_EQ(Tool({"get", kSetup, "Path"}).out, "C:\\Reports \"2003\"\n");
  }

  // A malformed file: its line is named and nothing of it is applied, not
  // even the lines before the fault.
  WriteFile(env.dir.File("bad.reg"), "Windows Registry Editor Version 5.00\n\n[" + kSetup +
                                         "]\n\"New\"=\"x\"\n"
                                         "[-HKEY_CURRENT_USER\\SOFTWARE]\n\"Broken\"=dword:xyz\n");
  const ToolRun bad = Tool({"import", env.dir.File("bad.reg")});
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.err.find("line 6:"), std::string::npos) << bad.err;
  EXPECT_EQ(Tool({"export"}).out, exported.out);

  // A file exported by Windows: UTF-16LE with its byte order mark.
  std::string utf16 = "\xFF\xFE";
  for (char c :
       "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\W]\r\n\"E\"=\"\xE9\"\r\n") {
    if (c == '\0') break;
    utf16 += c;
    utf16 += '\0';
  }
  WriteFile(env.dir.File("windows.reg"), utf16);
  ASSERT_EQ(Tool({"import", env.dir.File("windows.reg")}).status, 0);
  EXPECT_EQ(Tool({"get", "HKCU\\W", "E"}).out, "é\n");
  // And an old one: REGEDIT4 in Windows-1252, read from standard input.
  WriteFile(env.dir.File("old.reg"),
            "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Old]\r\n\"E\"=\"caf\xE9\"\r\n");
  ASSERT_EQ(Tool({"import", "-"}, env.dir.File("old.reg")).status, 0);
  EXPECT_EQ(Tool({"get", "HKCU\\Old", "E"}).out, "café\n");
}

TEST(HoralogReg, RegistryFileThatIsNotADatabaseIsLeftAlone) {
  TestEnvironment env;
  std::string noise(3000, '\0');
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>((i * 131) % 256);
  WriteFile(env.registryPath(), noise);
  WriteFile(env.dir.File("good.reg"), "REGEDIT4\n[HKCU\\A]\n\"v\"=\"1\"\n");
  for (const std::vector<std::string>& args : {std::vector<std::string>{"get", kSetup, "DataPath"},
                                               {"set", kSetup, "DataPath", "/x/"},
                                               {"list"},
                                               {"export"},
                                               {"import", env.dir.File("good.reg")},
                                               {"delete", "HKCU\\A"}}) {
    const ToolRun run = Tool(args);
    EXPECT_EQ(run.status, 3) << args[0] << ": " << run.err;
    EXPECT_NE(run.err.find("not a database"), std::string::npos) << run.err;
  }
  EXPECT_EQ(ReadFile(env.registryPath()), noise);
}

TEST(HoralogReg, ProvisionPointsTheFolderSettingsAtRealFolders) {
  TestEnvironment env;
  ScopedEnv home("HOME", env.dir.File("home"));
  ScopedEnv data("XDG_DATA_HOME", env.dir.File("data"));
  ScopedEnv documents("XDG_DOCUMENTS_DIR", env.dir.File("docs"));
  const std::string stores = env.dir.File("data") + "/horalog/stores/";
  const std::string reports = env.dir.File("docs") + "/Horalog/";
  const std::string templates =
      std::filesystem::canonical(TestEnvironment::TemplateDir()).string() + "/";

  // Found beside the tool, as in the build tree.
  ToolRun run = Tool({"provision"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "DataPath = " + stores + "\nExecPath = " + templates +
                         "\nReportPath = " + reports + "\n");
  EXPECT_TRUE(std::filesystem::is_directory(stores));
  EXPECT_TRUE(std::filesystem::is_directory(reports));
  EXPECT_EQ(Tool({"get", kSetup, "ExecPath"}).out, templates + "\n");
  run = Tool({"provision"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "");  // nothing to do the second time

  // Only what went stale is set again: a removed data folder, an ExecPath
  // without the template, a report folder that is gone; a custom folder
  // that exists stays.
  std::filesystem::remove_all(env.dir.File("data"));
  std::filesystem::create_directories(env.dir.File("mine"));
  Tool({"set", kSetup, "ExecPath", env.dir.File("mine")});
  Tool({"set", kSetup, "ReportPath", env.dir.File("mine")});
  run = Tool({"provision"});
  EXPECT_EQ(run.out, "DataPath = " + stores + "\nExecPath = " + templates + "\n");
  EXPECT_EQ(Tool({"get", kSetup, "ReportPath"}).out, env.dir.File("mine") + "\n");
  Tool({"set", kSetup, "ReportPath", env.dir.File("gone")});
  EXPECT_EQ(Tool({"provision"}).out, "ReportPath = " + reports + "\n");

  std::filesystem::copy_file(TestEnvironment::TemplateDir() + "/HR_Template.mdb",
                             env.dir.File("mine/HR_Template.mdb"));
  Tool({"delete", kSetup, "ExecPath"});
  run = Tool({"provision", "--template-dir", env.dir.File("mine")});
  EXPECT_EQ(run.out, "ExecPath = " + env.dir.File("mine") + "/\n");
}

TEST(ProvisionSetup, SetsWhatItCanAndSaysWhatItCouldNot) {
  TestEnvironment env;
  // A data home below a plain file cannot be made, whoever runs the test.
  WriteFile(env.dir.File("file"), "x");
  ScopedEnv data("XDG_DATA_HOME", env.dir.File("file") + "/data");
  ScopedEnv documents("XDG_DOCUMENTS_DIR", env.dir.File("docs"));
  const ProvisionResult result = ProvisionSetup(env.registryPath(), "");
  EXPECT_FALSE(result.ok());
  ASSERT_EQ(result.set.size(), 1u);
  EXPECT_EQ(result.set[0].first, "ReportPath");
  ASSERT_EQ(result.errors.size(), 2u);
  EXPECT_NE(result.errors[0].find("DataPath"), std::string::npos);
  EXPECT_NE(result.errors[1].find("HR_Template.mdb"), std::string::npos);

  const std::vector<std::string> candidates = TemplateFolderCandidates("/opt/horalog/bin/kestrune");
  EXPECT_EQ(candidates, (std::vector<std::string>{"/opt/horalog/bin/../share/horalog",
                                                  "/opt/horalog/bin/share/horalog"}));
  EXPECT_EQ(FindTemplateFolder({env.dir.path(), TestEnvironment::TemplateDir() + "/../horalog"}),
            std::filesystem::canonical(TestEnvironment::TemplateDir()).string() + "/");
  EXPECT_EQ(FindTemplateFolder({env.dir.path()}), "");
}

// Moving from Windows: the settings exported there (reg export writes
// UTF-16LE) name C:\ folders; imported here, provisioning points those three
// at real folders and keeps every other value.
TEST(HoralogReg, WindowsExportImportsAndProvisionReplacesItsFolders) {
  TestEnvironment env;
  ScopedEnv home("HOME", env.dir.File("home"));
  ScopedEnv data("XDG_DATA_HOME", env.dir.File("data"));
  ScopedEnv documents("XDG_DOCUMENTS_DIR", env.dir.File("docs"));
  const std::string text =
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_CURRENT_USER\\SOFTWARE\\Brackwell\\Horalog\\Setup]\r\n"
      "\"DataPath\"=\"C:\\\\Program Files\\\\Horalog\\\\Data\\\\\"\r\n"
      "\"ExecPath\"=\"C:\\\\Program Files\\\\Horalog\\\\\"\r\n"
      "\"ReportPath\"=\"C:\\\\Users\\\\Jane\\\\Documents\\\\\"\r\n"
      "\"CurrencySymbol\"=\"\xe2\x82\xac\"\r\n"
      "\"DefaultRate\"=dword:00001388\r\n\r\n";
  const std::u16string wide = Utf8ToUtf16(text);
  WriteFile(env.dir.File("horalog.reg"),
            "\xff\xfe" + std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * 2));
  ToolRun run = Tool({"import", env.dir.File("horalog.reg")});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Tool({"get", kSetup, "DataPath"}).out, "C:\\Program Files\\Horalog\\Data\\\n");
  run = Tool({"provision"});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string stores = env.dir.File("data") + "/horalog/stores/";
  EXPECT_EQ(run.out, "DataPath = " + stores + "\nExecPath = " +
                         std::filesystem::canonical(TestEnvironment::TemplateDir()).string() +
                         "/\nReportPath = " + env.dir.File("docs") + "/Horalog/\n");
  EXPECT_EQ(Tool({"get", kSetup, "CurrencySymbol"}).out, "\xe2\x82\xac\n");
  EXPECT_EQ(Tool({"get", kSetup, "DefaultRate"}).out, "5000\n");
}
