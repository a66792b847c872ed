// Provisioning of an installation: the folder settings that neither program
// writes (DataPath, ExecPath, ReportPath) pointed at real folders.
#pragma once

#include <string>
#include <utility>
#include <vector>

// The name of the empty store that ExecPath must hold.
inline constexpr const char* kTemplateFileName = "HR_Template.mdb";

struct ProvisionResult {
  std::vector<std::pair<std::string, std::string>> set;  // value name and text written, in order
  std::vector<std::string> errors;                       // what could not be done
  bool ok() const { return errors.empty(); }
};

// Where an installed program at executablePath finds the template's folder:
// <its folder>/../share/horalog (an installation) and <its folder>/share/horalog
// (the build tree), in that order.
std::vector<std::string> TemplateFolderCandidates(const std::string& executablePath);

// The first of folders that holds HR_Template.mdb, made absolute and normal
// and ending with "/"; "" when none does.
std::string FindTemplateFolder(const std::vector<std::string>& folders);

// Sets in the Setup key of the registry at registryPath each of these that is
// missing, empty or names a folder that no longer exists, and ExecPath also
// when its folder holds no HR_Template.mdb:
//   DataPath   = DataHome() + "/horalog/stores/"  (folder created)
//   ExecPath   = templateFolder
//   ReportPath = DocumentsDir() + "/Horalog/"     (folder created)
// Every folder value ends with "/". A value whose folder cannot be created is
// left as it is. An empty templateFolder leaves ExecPath as it is, which is
// an error only when ExecPath needed setting. Values that are fine are not
// touched, so a second run sets nothing.
ProvisionResult ProvisionSetup(const std::string& registryPath, const std::string& templateFolder);
