// Provisioning of an installation's folder settings.
#include "settings/provisioning.h"

#include <filesystem>
#include <system_error>

#include "platform/xdg_paths.h"
#include "settings/registry.h"

namespace fs = std::filesystem;

namespace {

const std::vector<std::string> kSetupNames = {"SOFTWARE", "Brackwell", "Horalog", "Setup"};

std::string WithSlash(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder.push_back('/');
  return folder;
}

bool IsFolder(const std::string& path) {
  std::error_code ec;
  return !path.empty() && fs::is_directory(path, ec);
}

bool HoldsTemplate(const std::string& folder) {
  std::error_code ec;
  return IsFolder(folder) && fs::is_regular_file(fs::path(folder) / kTemplateFileName, ec);
}

}  // namespace

std::vector<std::string> TemplateFolderCandidates(const std::string& executablePath) {
  const fs::path folder = fs::path(executablePath).parent_path();
  return {(folder / ".." / "share" / "horalog").string(), (folder / "share" / "horalog").string()};
}

std::string FindTemplateFolder(const std::vector<std::string>& folders) {
  for (const std::string& folder : folders) {
    if (!HoldsTemplate(folder)) continue;
    std::error_code ec;
    fs::path normal = fs::weakly_canonical(fs::absolute(folder, ec), ec);
    if (ec) normal = fs::absolute(folder).lexically_normal();
    return WithSlash(normal.string());
  }
  return "";
}

ProvisionResult ProvisionSetup(const std::string& registryPath, const std::string& templateFolder) {
  ProvisionResult result;
  Registry registry(registryPath);
  RegistryKey setup = 0;
  if (Status opened = registry.CreateKeyPath(kHkeyCurrentUser, kSetupNames, &setup); !opened.ok()) {
    result.errors.push_back(opened.message());
    return result;
  }

  // The stored text, read whole and up to its first zero as every reader does.
  auto current = [&](const char* name) {
    RegistryValue value;
    if (!registry.QueryValue(setup, name, &value).ok()) return std::string();
    const std::string text(value.data.begin(), value.data.end());
    return std::string(text.c_str());
  };
  auto set = [&](const char* name, const std::string& folder, bool create) {
    if (create) {
      std::error_code ec;
      fs::create_directories(folder, ec);
      if (ec) {
        result.errors.push_back(std::string(name) + ": cannot create " + folder + ": " +
                                ec.message());
        return;
      }
    }
    std::vector<uint8_t> data(folder.begin(), folder.end());
    data.push_back(0);
    if (Status written = registry.SetValue(setup, name, kRegSz, data); !written.ok()) {
      result.errors.push_back(std::string(name) + ": " + written.message());
      return;
    }
    result.set.emplace_back(name, folder);
  };

  if (!IsFolder(current("DataPath"))) {
    set("DataPath", WithSlash(DataHome() + "/horalog/stores"), true);
  }
  if (!HoldsTemplate(current("ExecPath"))) {
    if (templateFolder.empty()) {
      result.errors.push_back(std::string("ExecPath: ") + kTemplateFileName + " not found");
    } else {
      set("ExecPath", WithSlash(templateFolder), false);
    }
  }
  if (!IsFolder(current("ReportPath"))) {
    set("ReportPath", WithSlash(DocumentsDir() + "/Horalog"), true);
  }
  return result;
}
