// The RTF writer of the time report and the invoice.
#include "documents/rtf_document.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/process.h"
#include "settings/registry_key_stack.h"

namespace {

constexpr const char* kLineEnd = "\r\n";

void AppendUnit(std::string* out, uint32_t unit) {
  // RTF reads the number as a signed 16-bit value.
  const int value = unit > 0x7FFF ? static_cast<int>(unit) - 0x10000 : static_cast<int>(unit);
  *out += "\\u" + std::to_string(value) + "?";
}

void AppendCodePoint(std::string* out, uint32_t code) {
  if (code < 0x10000) {
    AppendUnit(out, code);
  } else {
    code -= 0x10000;
    AppendUnit(out, 0xD800 + (code >> 10));
    AppendUnit(out, 0xDC00 + (code & 0x3FF));
  }
}

// Decodes the UTF-8 sequence at text[*i], advancing *i past it; U+FFFD for a
// malformed, overlong or surrogate sequence (then only its first byte is
// consumed).
uint32_t DecodeUtf8(const std::string& text, size_t* i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(*i);
  int length = 0;
  uint32_t code = 0;
  uint32_t least = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, code = lead & 0x1F, least = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, code = lead & 0x0F, least = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, code = lead & 0x07, least = 0x10000;
  } else {
    ++*i;
    return 0xFFFD;
  }
  if (*i + static_cast<size_t>(length) > text.size()) {
    ++*i;
    return 0xFFFD;
  }
  for (int k = 1; k < length; ++k) {
    const unsigned char next = byte(*i + static_cast<size_t>(k));
    if ((next & 0xC0) != 0x80) {
      ++*i;
      return 0xFFFD;
    }
    code = (code << 6) | (next & 0x3F);
  }
  if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
    ++*i;
    return 0xFFFD;
  }
  *i += static_cast<size_t>(length);
  return code;
}

std::string ErrnoText(int error) { return std::strerror(error); }

}  // namespace

std::string RtfEscape(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80) {
      AppendCodePoint(&out, DecodeUtf8(text, &i));
      continue;
    }
    ++i;
    switch (c) {
      case '\\':
      case '{':
      case '}':
        out += '\\';
        out += static_cast<char>(c);
        break;
      case '\t': out += "\\tab "; break;
      case '\r':
        if (i < text.size() && text[i] == '\n') ++i;
        out += "\\line ";
        break;
      case '\n': out += "\\line "; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char hex[8];
          std::snprintf(hex, sizeof hex, "\\'%02x", c);
          out += hex;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out;
}

std::string FileDateStamp(std::time_t now, const char* format) {
  std::tm local{};
  if (localtime_r(&now, &local) == nullptr) return {};
  char text[64];
  return std::strftime(text, sizeof text, format, &local) > 0 ? text : "";
}

RtfDocument::RtfDocument() = default;

RtfDocument::~RtfDocument() {
  // A document abandoned before Close leaves no half-written file behind.
  if (fd_ >= 0) {
    ::close(fd_);
    ::unlink(filePath_.c_str());
  }
}

int WriteAndCloseFile(int fd, const std::string& data) {
  int failure = 0;
  size_t done = 0;
  while (done < data.size() && failure == 0) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      failure = n < 0 ? errno : EIO;
    }
  }
  // The data must be on the disk before any record is marked as billed by it.
  if (failure == 0 && ::fsync(fd) != 0) failure = errno;
  if (::close(fd) != 0 && failure == 0 && errno != EINTR) failure = errno;
  return failure;
}

Status RtfDocument::OpenFile(const std::string& baseName, bool reservePdf) {
  return OpenFile(ReadDocumentSetup(), baseName, reservePdf);
}

Status RtfDocument::OpenFile(const DocumentSetup& setup, const std::string& baseName,
                             bool reservePdf) {
  lastFailure_.clear();
  const std::string& reportPath = setup.reportPath;
  currencySymbol_ = setup.currencySymbol;
  // A folder given with its slash ("/home/jane/Horalog/") keeps just that
  // one: the path is shown in messages.
  folder_ = !reportPath.empty() && reportPath.back() == '/' ? reportPath : reportPath + "/";

  std::string base = folder_ + baseName;
  std::string candidate = base + ".rtf";
  for (int n = 1; n <= kMaxNameAttempts; ++n) {
    struct stat taken {};
    if (reservePdf && ::lstat((base + ".pdf").c_str(), &taken) == 0) {
      base = folder_ + baseName + "_" + std::to_string(n);
      candidate = base + ".rtf";
      continue;
    }
    // O_EXCL also refuses a dangling link at the name, so the document never
    // lands where a link points.
    const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      fd_ = fd;
      filePath_ = candidate;
      return Status::Ok();
    }
    if (errno != EEXIST) {
      lastFailure_ = "The document could not be created in the folder " + folder_ + ": " +
                     ErrnoText(errno) + ".";
      return Status::Failure(lastFailure_);
    }
    base = folder_ + baseName + "_" + std::to_string(n);
    candidate = base + ".rtf";
  }
  lastFailure_ = "The document could not be created in the folder " + folder_ + ": " +
                 std::to_string(kMaxNameAttempts) + " file names beginning with " + baseName +
                 " are taken.";
  return Status::Failure(lastFailure_);
}

void RtfDocument::WritePrologue(DocumentKind kind) {
  if (kind == DocumentKind::Report) {
    WriteLine(
        "{\\rtf1\\ansi \\deff0{\\fonttbl {\\f0\\fswiss Arial;}{\\f3\\froman\\fcharset2\\fprq2{\\*"
        "\\panose 05050102010706020507}Symbol;}}");
    WriteLine("\\margl1080 \\margr1080 \\sectd ");
  } else {
    WriteLine(
        "{\\rtf1\\ansi \\deff0{\\fonttbl {\\f0\\fswiss Times New Roman;}{\\f3\\froman\\fcharset2"
        "\\fprq2{\\*\\panose 05050102010706020507}Symbol;}}");
    WriteLine("\\margl1440 \\margr1440 \\sectd ");
  }
  WriteLine("\\pard \\qc ");
  WriteLine("{\\plain \\f1 \\fs30 ");
}

void RtfDocument::ResetColumns() {
  columnCount_ = 0;
  nextRight_ = 0;
  cellsInRow_ = 0;
}

void RtfDocument::AddColumn(int width) {
  if (columnCount_ >= kMaxColumns) return;
  nextRight_ += width * 72;
  columnRight_[static_cast<size_t>(columnCount_)] = nextRight_;
  ++columnCount_;
}

void RtfDocument::WriteEdge(const std::string& fragment, int column) {
  WriteLine(fragment + std::to_string(columnRight_[static_cast<size_t>(column)]));
}

void RtfDocument::WriteHeaderRowFormat() {
  if (columnCount_ == 0) return;
  WriteLine("\\trowd \\trgaph68");
  WriteEdge("\\clvertalt\\clbrdrt\\brdrth\\brdrw15 \\clbrdrl\\brdrth\\brdrw15 \\cltxlrtb \\cellx",
            0);
  for (int column = 1; column < columnCount_ - 1; ++column) {
    WriteEdge(
        "\\clvertalt\\clbrdrt\\brdrth\\brdrw15  \\clbrdrl\\brdrs\\brdrw15  \\cltxlrtb \\cellx",
        column);
  }
  if (columnCount_ > 1) {
    WriteEdge(
        "\\clvertalt\\clbrdrt\\brdrth\\brdrw15  \\clbrdrl\\brdrs\\brdrw15 "
        "\\clbrdrr\\brdrth\\brdrw15  "
        "\\cltxlrtb \\cellx",
        columnCount_ - 1);
  }
}

void RtfDocument::WriteBodyRowFormat() {
  if (columnCount_ == 0) return;
  WriteLine("\\trowd \\trgaph68");
  WriteLine("\\clvertalt\\clbrdrl\\brdrth\\brdrw15 \\clbrdrt\\brdrs\\brdrw15 ");
  WriteEdge("\\cltxlrtb \\cellx", 0);
  for (int column = 1; column < columnCount_ - 1; ++column) {
    WriteEdge("\\clvertalt\\clbrdrt\\brdrs\\brdrw15 \\clbrdrl\\brdrs\\brdrw15 \\cltxlrtb \\cellx",
              column);
  }
  if (columnCount_ > 1) {
    WriteLine(
        "\\clvertalt\\clbrdrt\\brdrs\\brdrw15 \\clbrdrl\\brdrs\\brdrw15 "
        "\\clbrdrr\\brdrth\\brdrw15 ");
    WriteEdge("\\cltxlrtb \\cellx", columnCount_ - 1);
  }
}

void RtfDocument::WriteClosingRowFormat() {
  if (columnCount_ == 0) return;
  WriteLine("\\trowd \\trgaph68 ");
  WriteEdge(
      "\\clvertalt\\clbrdrt\\brdrs\\brdrw15\\clbrdrb\\brdrs\\brdrw15\\clbrdrl\\brdrth\\brdrw15"
      "\\cellx",
      0);
  for (int column = 1; column < columnCount_ - 1; ++column) {
    WriteLine(
        "\\clvertalt\\clbrdrt\\brdrs\\brdrw15 \\clbrdrl\\brdrs\\brdrw15 "
        "\\clbrdrb\\brdrth\\brdrw15 ");
    WriteEdge("\\cltxlrtb \\cellx", column);
  }
  if (columnCount_ > 1) {
    WriteLine(
        "\\clvertalt\\clbrdrt\\brdrs\\brdrw15 \\clbrdrl\\brdrs\\brdrw15 \\clbrdrb\\brdrth\\brdrw15 "
        "\\clbrdrr\\brdrth\\brdrw15 ");
    WriteEdge("\\cltxlrtb \\cellx", columnCount_ - 1);
  }
}

void RtfDocument::WriteCell(const std::string& text, bool bold, bool right) {
  WriteLine(std::string("\\pard ") + (right ? "\\qr" : "\\ql") +
            "\\nowidctlpar\\intbl\\adjustright\\keepn");
  std::string cell = "{";
  if (bold) cell += "\\b ";
  cell += "\\fs" + std::to_string(fontSize) + "\\cgrid0 " + text;
  if (bold) cell += "\\b0 ";
  cell += "\\cell}";
  WriteLine(cell);
  ++cellsInRow_;
  if (cellsInRow_ >= columnCount_) EndRow();
}

void RtfDocument::EndRow() {
  WriteLine("\\pard \\intbl \\row");
  cellsInRow_ = 0;
}

void RtfDocument::EndTable() {
  if (cellsInRow_ != 0) EndRow();
  WriteLine("\\pard\\nowidctlpar {\\fs" + std::to_string(fontSize) + "\\cgrid0 } \\par ");
}

void RtfDocument::WriteLine(const std::string& fragment) {
  text_ += fragment;
  text_ += kLineEnd;
}

void RtfDocument::Write(const std::string& fragment) { text_ += fragment; }

Status RtfDocument::Close() {
  if (fd_ < 0) {
    return Status::Failure(lastFailure_.empty() ? "The document has no file." : lastFailure_);
  }
  WriteLine("\\par }}");
  const int failure = WriteAndCloseFile(fd_, text_);
  fd_ = -1;
  if (failure != 0) {
    ::unlink(filePath_.c_str());
    lastFailure_ =
        "The document " + filePath_ + " could not be written: " + ErrnoText(failure) + ".";
    return Status::Failure(lastFailure_);
  }
  return Status::Ok();
}

Status RtfDocument::ShowInEditor() {
  std::string editor;
  {
    RegistryKeyStack keys;
    if (!keys.OpenPath(kSetupKeyPath) || !keys.QueryString("EditorPath", &editor, 0))
      editor.clear();
    keys.CloseAll();
  }
  const std::string program = editor.empty() ? "xdg-open" : editor;
  const Status started = StartDetachedProcess(program, {filePath_});
  if (started.ok()) return Status::Ok();
  return Status::Failure("The document " + filePath_ + " was written, but the editor " + program +
                         " could not be started: " + started.message() + ".");
}
