// The PDF beside each document.
#include "documents/pdf_renderer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "settings/account_settings.h"
#include "settings/registry_key_stack.h"

namespace {

PdfRenderer* installed = nullptr;

}  // namespace

PdfRenderer* InstalledPdfRenderer() { return installed; }

void SetPdfRenderer(PdfRenderer* renderer) { installed = renderer; }

bool SavePdfSetting() {
  RegistryKeyStack keys;
  uint32_t value = 1;
  if (!keys.OpenPath(kSetupKeyPath) || !keys.QueryDword("SavePdf", &value)) value = 1;
  keys.CloseAll();
  return value != 0;
}

PaperSize PaperSizeForLocale() {
  std::string name;
  for (const char* variable : {"LC_ALL", "LC_PAPER", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') {
      name = value;
      break;
    }
  }
  name = name.substr(0, name.find_first_of(".@"));
  if (name.empty() || name == "C" || name == "POSIX") return PaperSize::Letter;
  const size_t separator = name.find('_');
  return separator != std::string::npos && name.substr(separator + 1) == "US" ? PaperSize::Letter
                                                                              : PaperSize::A4;
}

std::string PdfPathBeside(const std::string& rtfPath) {
  const std::string suffix = ".rtf";
  if (rtfPath.size() >= suffix.size() &&
      rtfPath.compare(rtfPath.size() - suffix.size(), suffix.size(), suffix) == 0) {
    return rtfPath.substr(0, rtfPath.size() - suffix.size()) + ".pdf";
  }
  return rtfPath + ".pdf";
}

Status WritePdfBeside(const Document& document, const std::string& rtfPath) {
  const std::string path = PdfPathBeside(rtfPath);
  const std::string failed = "The PDF " + path + " could not be written: ";
  if (installed == nullptr) {
    return Status::Failure(failed + "this program was built without a PDF writer.");
  }
  std::string pdf;
  if (Status rendered = installed->Render(document, PaperSizeForLocale(), &pdf); !rendered.ok()) {
    return Status::Failure(failed + rendered.message() + ".");
  }
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return Status::Failure(failed + std::strerror(errno) + ".");
  const int failure = WriteAndCloseFile(fd, pdf);
  if (failure != 0) {
    ::unlink(path.c_str());
    return Status::Failure(failed + std::strerror(failure) + ".");
  }
  return Status::Ok();
}
