// horalog-reg: reads and writes the settings registry, imports and exports
// .reg files, and provisions an installation's folder settings.
#include <unicode/utf8.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "platform/utf8.h"
#include "platform/version.h"
#include "settings/provisioning.h"
#include "settings/reg_file.h"
#include "settings/registry.h"

namespace {

// Exit statuses.
constexpr int kOk = 0;
constexpr int kMissing = 1;   // a key or value does not exist; provision could not set a value
constexpr int kUsage = 2;     // bad usage, or a file that cannot be read, written or parsed
constexpr int kRegistry = 3;  // the registry file cannot be read or written

constexpr const char* kFooter = R"(
KEY is written as on Windows: HKEY_CURRENT_USER\SOFTWARE\Brackwell\Horalog\Setup,
or HKCU\SOFTWARE\...; only HKEY_CURRENT_USER is kept. NAME "" is the default
value. The registry file is $HORALOG_REGISTRY, else
$XDG_CONFIG_HOME/horalog/registry.db.

Exit status: 0 success, 1 key or value missing (provision: a value could not
be set), 2 bad usage or a malformed or unreadable file, 3 the registry file
cannot be read or written.)";

int Error(int status, const std::string& message) {
  std::cerr << "horalog-reg: " << message << "\n";
  return status;
}

// The registry's failure as an exit status: missing things are 1, the rest 3.
int RegistryError(const Status& failure, const std::string& what) {
  return Error(failure.code() == Registry::kNotFound ? kMissing : kRegistry,
               what + ": " + failure.message());
}

// A DWORD in decimal or, after 0x, in hex; nothing else, nothing above 32 bits.
bool ParseDword(const std::string& text, uint32_t* out) {
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const std::string digits = hex ? text.substr(2) : text;
  if (digits.empty() || digits.size() > 10) return false;
  uint64_t value = 0;
  for (char c : digits) {
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (hex && c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (hex && c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return false;
    }
    value = value * (hex ? 16 : 10) + static_cast<uint64_t>(digit);
  }
  if (value > 0xFFFFFFFFu) return false;
  *out = static_cast<uint32_t>(value);
  return true;
}

std::string TypeName(uint32_t type) {
  switch (type) {
    case kRegSz: return "REG_SZ";
    case kRegBinary: return "REG_BINARY";
    case kRegDword: return "REG_DWORD";
    case 0: return "REG_NONE";
    case 2: return "REG_EXPAND_SZ";
    case 7: return "REG_MULTI_SZ";
    case 11: return "REG_QWORD";
    default: return "REG_TYPE_" + std::to_string(type);
  }
}

// Text as it is (up to its zero), a DWORD in unsigned decimal, anything else
// as hex bytes the way a .reg file writes them.
std::string ValueText(const RegistryValue& value) {
  if (value.type == kRegSz || value.type == 2) {
    const std::string text(value.data.begin(), value.data.end());
    return std::string(text.c_str());
  }
  if (value.type == kRegDword && value.data.size() == 4) {
    const uint32_t dword = value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) |
                           (uint32_t{value.data[3]} << 24);
    return std::to_string(dword);
  }
  std::string text;
  for (size_t i = 0; i < value.data.size(); ++i) {
    char piece[4];
    std::snprintf(piece, sizeof piece, i == 0 ? "%02x" : ",%02x", value.data[i]);
    text += piece;
  }
  return text;
}

bool ParseKey(const std::string& text, std::vector<std::string>* names, int* status) {
  const Status parsed = ParseRootedKeyPath(text, names);
  if (parsed.ok()) return true;
  *status = Error(kUsage, parsed.message());
  return false;
}

int Get(const std::string& keyText, const std::string& name) {
  std::vector<std::string> names;
  int status = kOk;
  if (!ParseKey(keyText, &names, &status)) return status;
  Registry registry;
  RegistryKey key = 0;
  RegistryValue value;
  Status done = registry.OpenKeyPath(kHkeyCurrentUser, names, &key);
  if (done.ok()) done = registry.QueryValue(key, name, &value);
  if (!done.ok()) return RegistryError(done, keyText);
  std::cout << ValueText(value) << "\n";
  return kOk;
}

int Set(const std::string& keyText, const std::string& name, const std::string& text, bool dword) {
  std::vector<std::string> names;
  int status = kOk;
  if (!ParseKey(keyText, &names, &status)) return status;
  std::vector<uint8_t> data;
  if (dword) {
    uint32_t value = 0;
    if (!ParseDword(text, &value)) {
      return Error(kUsage, "\"" + text + "\" is not a DWORD (decimal, or hex after 0x)");
    }
    data = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
            static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
  } else {
    if (!IsUtf8(text)) return Error(kUsage, "VALUE is not UTF-8 text");
    data.assign(text.begin(), text.end());
    data.push_back(0);
  }
  Registry registry;
  RegistryKey key = 0;
  Status done = registry.CreateKeyPath(kHkeyCurrentUser, names, &key);
  if (done.ok()) done = registry.SetValue(key, name, dword ? kRegDword : kRegSz, data);
  if (!done.ok()) return RegistryError(done, keyText);
  return kOk;
}

int Delete(const std::string& keyText, const std::string* name) {
  std::vector<std::string> names;
  int status = kOk;
  if (!ParseKey(keyText, &names, &status)) return status;
  Registry registry;
  RegistryKey key = 0;
  if (name) {
    Status done = registry.OpenKeyPath(kHkeyCurrentUser, names, &key);
    if (done.ok()) done = registry.DeleteValue(key, *name);
    return done.ok() ? kOk : RegistryError(done, keyText);
  }
  if (names.empty()) return Error(kUsage, "HKEY_CURRENT_USER itself cannot be deleted");
  const std::vector<std::string> parent(names.begin(), names.end() - 1);
  Status done = registry.OpenKeyPath(kHkeyCurrentUser, parent, &key);
  if (done.ok()) done = registry.DeleteKey(key, names.back());
  return done.ok() ? kOk : RegistryError(done, keyText);
}

int List(const std::string& keyText) {
  std::vector<std::string> names;
  int status = kOk;
  if (!ParseKey(keyText, &names, &status)) return status;
  Registry registry;
  RegistryKey key = 0;
  std::vector<RegistryValue> values;
  std::vector<std::string> subKeys;
  Status done = registry.OpenKeyPath(kHkeyCurrentUser, names, &key);
  if (done.ok()) done = registry.ListValues(key, &values);
  if (done.ok()) done = registry.ListSubKeys(key, &subKeys);
  if (!done.ok()) return RegistryError(done, keyText);
  for (const RegistryValue& value : values) {
    std::cout << value.name << "\t" << TypeName(value.type) << "\t" << ValueText(value) << "\n";
  }
  for (const std::string& subKey : subKeys) std::cout << "[" << subKey << "]\n";
  return kOk;
}

int Export(const std::string& keyText, const std::string& file) {
  std::vector<std::string> names;
  int status = kOk;
  if (!ParseKey(keyText, &names, &status)) return status;
  Registry registry;
  std::string text;
  if (Status exported = RegFile::Export(&registry, names, &text); !exported.ok()) {
    return Error(exported.code() == Registry::kNotFound ? kMissing : kRegistry, exported.message());
  }
  if (file.empty() || file == "-") {
    std::cout << text;
    return kOk;
  }
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) return Error(kUsage, "cannot write " + file + ": " + std::strerror(errno));
  return kOk;
}

int Import(const std::string& file) {
  std::string bytes;
  if (file == "-") {
    bytes.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
  } else {
    std::ifstream in(file, std::ios::binary);
    if (!in) return Error(kUsage, "cannot read " + file + ": " + std::strerror(errno));
    std::ostringstream content;
    content << in.rdbuf();
    bytes = content.str();
  }
  RegFile reg;
  if (Status parsed = reg.Parse(bytes); !parsed.ok()) {
    return Error(kUsage, file + ": " + parsed.message() + " (nothing imported)");
  }
  Registry registry;
  if (Status applied = reg.Apply(&registry); !applied.ok()) {
    return Error(kRegistry, file + ": " + applied.message() + " (nothing imported)");
  }
  return kOk;
}

std::string ExecutablePath(const char* argv0) {
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string(argv0) : self.string();
}

int Provision(const std::string& templateDir, const char* argv0) {
  std::string templateFolder;
  if (!templateDir.empty()) {
    templateFolder = FindTemplateFolder({templateDir});
    if (templateFolder.empty()) {
      return Error(kUsage, templateDir + " holds no " + kTemplateFileName);
    }
  } else {
    templateFolder = FindTemplateFolder(TemplateFolderCandidates(ExecutablePath(argv0)));
  }
  const ProvisionResult result = ProvisionSetup(Registry::DefaultPath(), templateFolder);
  for (const auto& [name, value] : result.set) std::cout << name << " = " << value << "\n";
  for (const std::string& error : result.errors) Error(kMissing, error);
  return result.ok() ? kOk : kMissing;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Reads and writes the Horalog settings registry.", "horalog-reg"};
  app.footer(kFooter);
  app.require_subcommand(1);
  app.set_version_flag("--version", std::string("horalog-reg ") + kHoralogVersion);

  std::string key;
  std::string name;
  std::string value;
  std::string file;
  std::string templateDir;

  CLI::App* get = app.add_subcommand("get", "Print one value: text as it is, a DWORD in decimal");
  get->add_option("KEY", key, "the key")->required();
  get->add_option("NAME", name, "the value's name")->required();

  CLI::App* set = app.add_subcommand("set", "Write one value, creating the key when missing");
  set->add_option("KEY", key, "the key")->required();
  set->add_option("NAME", name, "the value's name")->required();
  set->add_option("VALUE", value, "text, or with --dword decimal or 0x hex")->required();
  bool asDword = false;
  bool asString = false;
  CLI::Option* dword = set->add_flag("--dword", asDword, "write a REG_DWORD");
  CLI::Option* string = set->add_flag("--string", asString, "write a REG_SZ (the default)");
  dword->excludes(string);

  CLI::App* del = app.add_subcommand("delete", "Delete a value, or a key with everything below it");
  del->add_option("KEY", key, "the key")->required();
  CLI::Option* deleteName = del->add_option("NAME", name, "the value to delete instead of the key");

  CLI::App* list =
      app.add_subcommand("list", "List a key's values (NAME, TYPE, VALUE) and sub-keys");
  list->add_option("KEY", key, "the key (default HKEY_CURRENT_USER)");

  CLI::App* exp =
      app.add_subcommand("export", "Write a key and everything below it as a .reg file");
  exp->add_option("KEY", key, "the key (default HKEY_CURRENT_USER)");
  exp->add_option("FILE", file, "the file to write (default standard output)");

  CLI::App* imp = app.add_subcommand("import", "Apply a .reg file: all of it, or nothing");
  imp->add_option("FILE", file, "the .reg file (- for standard input)")->required();

  CLI::App* provision =
      app.add_subcommand("provision", "Point DataPath, ExecPath and ReportPath at real folders");
  provision->add_option("--template-dir", templateDir, "the folder holding HR_Template.mdb");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    return Error(kUsage, std::string(e.what()) + "\nRun with --help for more information.");
  }

  if (get->parsed()) return Get(key, name);
  if (set->parsed()) return Set(key, name, value, asDword);
  if (del->parsed()) return Delete(key, deleteName->count() > 0 ? &name : nullptr);
  const std::string keyOrRoot = key.empty() ? "HKEY_CURRENT_USER" : key;
  if (list->parsed()) return List(keyOrRoot);
  if (exp->parsed()) return Export(keyOrRoot, file);
  if (imp->parsed()) return Import(file);
  if (provision->parsed()) return Provision(templateDir, argv[0]);
  return kUsage;
}
