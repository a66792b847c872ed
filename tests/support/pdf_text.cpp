// What poppler's tools read from a PDF file.
#include "support/pdf_text.h"

#include <cstdio>

std::string Poppler(const std::string& command) {
  std::string text;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return text;
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
  ::pclose(pipe);
  return text;
}

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

std::string PdfText(const std::string& pdf, int page) {
  const std::string pages =
      page > 0 ? " -f " + std::to_string(page) + " -l " + std::to_string(page) : "";
  return Poppler("pdftotext -raw -enc UTF-8" + pages + " " + Quoted(pdf) + " -");
}

int PdfPages(const std::string& pdf) {
  const std::string info = Poppler("pdfinfo " + Quoted(pdf));
  const size_t at = info.find("Pages:");
  return at == std::string::npos ? 0 : std::stoi(info.substr(at + 6));
}
