// Windows .reg text files read into and written from the registry.
#include "settings/reg_file.h"

#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <array>
#include <cstdio>

#include "platform/utf8.h"

namespace {

constexpr const char* kHeader5 = "Windows Registry Editor Version 5.00";
constexpr const char* kHeader4 = "REGEDIT4";
constexpr size_t kWrapColumn = 76;  // where regedit breaks long hex lines

// Windows-1252 0x80..0x9F; the five holes map to the C1 controls, as Windows does.
constexpr std::array<uint16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendUtf8(UChar32 c, std::string* out) {
  uint8_t buffer[U8_MAX_LENGTH];
  int32_t n = 0;
  U8_APPEND_UNSAFE(buffer, n, c);
  out->append(reinterpret_cast<const char*>(buffer), static_cast<size_t>(n));
}

std::string Cp1252ToUtf8(const std::string& bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (unsigned char b : bytes) {
    if (b < 0x80) {
      out.push_back(static_cast<char>(b));
    } else {
      AppendUtf8(b < 0xA0 ? kCp1252High[b - 0x80] : b, &out);
    }
  }
  return out;
}

// False at the first ill-formed sequence, whose byte offset goes to bad.
bool DecodeUtf16Le(const uint8_t* data, size_t size, std::string* out, size_t* bad) {
  if (size % 2 != 0) {
    *bad = size - 1;
    return false;
  }
  std::u16string units(size / 2, u'\0');
  for (size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
  }
  out->clear();
  const int32_t length = static_cast<int32_t>(units.size());
  for (int32_t i = 0; i < length;) {
    const int32_t start = i;
    UChar32 c;
    U16_NEXT(units.data(), i, length, c);
    if (U_IS_SURROGATE(c)) {
      *bad = static_cast<size_t>(start) * 2;
      return false;
    }
    AppendUtf8(c, out);
  }
  return true;
}

// Ill-formed bytes become U+FFFD: a text value that is not UTF-8 can only
// have come from outside the tools, and regedit would not take it either.
std::vector<uint8_t> EncodeUtf16Le(const std::vector<uint8_t>& utf8) {
  std::vector<uint8_t> out;
  const int32_t length = static_cast<int32_t>(utf8.size());
  for (int32_t i = 0; i < length;) {
    UChar32 c;
    U8_NEXT(utf8.data(), i, length, c);
    if (c < 0) c = 0xFFFD;
    char16_t units[2];
    int32_t n = 0;
    U16_APPEND_UNSAFE(units, n, c);
    for (int32_t k = 0; k < n; ++k) {
      out.push_back(static_cast<uint8_t>(units[k] & 0xFF));
      out.push_back(static_cast<uint8_t>(units[k] >> 8));
    }
  }
  return out;
}

int LineAt(const std::string& text, size_t offset) {
  return 1 + static_cast<int>(std::count(text.begin(), text.begin() + offset, '\n'));
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string TrimRight(std::string text) {
  while (!text.empty() && (IsBlank(text.back()) || text.back() == '\r')) text.pop_back();
  return text;
}

size_t SkipBlanks(const std::string& text, size_t pos) {
  while (pos < text.size() && IsBlank(text[pos])) ++pos;
  return pos;
}

bool StartsWithNoCase(const std::string& text, size_t pos, const std::string& prefix) {
  if (text.size() - pos < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    char c = text[pos + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != prefix[i]) return false;
  }
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsTextType(uint32_t type) { return type == 1 || type == 2 || type == 7; }

// A quoted string starting at text[*pos] == '"'; *pos ends after the closing quote.
bool ParseQuoted(const std::string& text, size_t* pos, std::string* out, std::string* error) {
  out->clear();
  for (size_t i = *pos + 1; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '"') {
      *pos = i + 1;
      return true;
    }
    if (c == '\\') {
      if (i + 1 < text.size() && (text[i + 1] == '\\' || text[i + 1] == '"')) {
        out->push_back(text[++i]);
        continue;
      }
      *error = i + 1 < text.size() ? std::string("unknown escape \\") + text[i + 1]
                                   : std::string("backslash at the end of a string");
      return false;
    }
    out->push_back(c);
  }
  *error = "missing closing quote";
  return false;
}

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

// A REG_SZ that a quoted string gives back byte for byte.
bool WritableAsQuoted(const std::vector<uint8_t>& data) {
  if (data.empty() || data.back() != 0) return false;
  const std::string text(data.begin(), data.end() - 1);
  size_t bad = 0;
  return text.find_first_of(std::string("\r\n\0", 3)) == std::string::npos && IsUtf8(text, &bad);
}

std::string ValueLine(const RegistryValue& value) {
  std::string line = value.name.empty() ? "@=" : Quoted(value.name) + "=";
  if (value.type == kRegSz && WritableAsQuoted(value.data)) {
    return line + Quoted(std::string(value.data.begin(), value.data.end() - 1)) + "\n";
  }
  if (value.type == kRegDword && value.data.size() == 4) {
    const uint32_t dword = value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) |
                           (uint32_t{value.data[3]} << 24);
    char text[16];
    std::snprintf(text, sizeof text, "dword:%08x", dword);
    return line + text + "\n";
  }
  char prefix[24];
  if (value.type == kRegBinary) {
    std::snprintf(prefix, sizeof prefix, "hex:");
  } else {
    std::snprintf(prefix, sizeof prefix, "hex(%x):", value.type);
  }
  line += prefix;
  const std::vector<uint8_t> bytes =
      IsTextType(value.type) ? EncodeUtf16Le(value.data) : value.data;
  std::string out;
  for (size_t i = 0; i < bytes.size(); ++i) {
    char piece[4];
    std::snprintf(piece, sizeof piece, "%02x", bytes[i]);
    line += piece;
    if (i + 1 < bytes.size()) {
      line += ",";
      if (line.size() >= kWrapColumn) {
        out += line + "\\\n";
        line = "  ";
      }
    }
  }
  return out + line + "\n";
}

Status ExportKey(Registry* registry, RegistryKey key, std::vector<std::string>* names,
                 std::string* text) {
  std::vector<RegistryValue> values;
  std::vector<std::string> subKeys;
  if (Status listed = registry->ListValues(key, &values); !listed.ok()) return listed;
  if (Status listed = registry->ListSubKeys(key, &subKeys); !listed.ok()) return listed;
  // Appended piece by piece: "[" + text makes g++ 12 at -O3 warn falsely
  // about overlapping copies.
  text->append("[").append(RootedKeyPathText(*names)).append("]\n");
  for (const RegistryValue& value : values) *text += ValueLine(value);
  *text += "\n";
  for (const std::string& name : subKeys) {
    RegistryKey child = 0;
    if (Status opened = registry->OpenKey(key, name, &child); !opened.ok()) return opened;
    names->push_back(name);
    if (Status exported = ExportKey(registry, child, names, text); !exported.ok()) {
      return exported;
    }
    names->pop_back();
  }
  return Status::Ok();
}

}  // namespace

Status ParseRootedKeyPath(const std::string& text, std::vector<std::string>* names) {
  const size_t slash = text.find('\\');
  std::string root = text.substr(0, slash);
  std::transform(root.begin(), root.end(), root.begin(), [](char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  });
  if (root != "HKEY_CURRENT_USER" && root != "HKCU") {
    static const std::array<const char*, 12> kOtherRoots = {
        "HKEY_LOCAL_MACHINE", "HKLM", "HKEY_CLASSES_ROOT",     "HKCR",
        "HKEY_USERS",         "HKU",  "HKEY_CURRENT_CONFIG",   "HKCC",
        "HKEY_DYN_DATA",      "HKDD", "HKEY_PERFORMANCE_DATA", "HKPD"};
    if (std::find(kOtherRoots.begin(), kOtherRoots.end(), root) != kOtherRoots.end()) {
      return Status::Failure(root + " is not kept here: only HKEY_CURRENT_USER (HKCU) is");
    }
    return Status::Failure("\"" + text + "\" does not start with HKEY_CURRENT_USER (or HKCU)");
  }
  names->clear();
  size_t start = slash == std::string::npos ? text.size() : slash + 1;
  while (start < text.size()) {
    size_t end = text.find('\\', start);
    if (end == std::string::npos) end = text.size();
    if (end > start) names->push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return Status::Ok();
}

std::string RootedKeyPathText(const std::vector<std::string>& names) {
  std::string text = "HKEY_CURRENT_USER";
  for (const std::string& name : names) text += "\\" + name;
  return text;
}

namespace {

// Where a file goes wrong: the line (from 1) and what is wrong there.
struct LineError {
  int line = 0;
  std::string message;
};

// A file's bytes as UTF-8 text: UTF-16LE after its byte order mark, UTF-8
// after its own mark or none, Windows-1252 under a REGEDIT4 header.
bool DecodeFileText(const std::string& bytes, std::string* text, LineError* error) {
  if (bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xFF &&
      static_cast<uint8_t>(bytes[1]) == 0xFE) {
    size_t bad = 0;
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data()) + 2;
    if (!DecodeUtf16Le(data, bytes.size() - 2, text, &bad)) {
      std::string before;
      size_t ignored = 0;
      DecodeUtf16Le(data, bad & ~size_t{1}, &before, &ignored);
      *error = {LineAt(before, before.size()), "not UTF-16 text"};
      return false;
    }
  } else if (bytes.rfind("\xEF\xBB\xBF", 0) == 0) {
    *text = bytes.substr(3);
  } else if (TrimRight(bytes.substr(0, bytes.find('\n'))) == kHeader4) {
    *text = Cp1252ToUtf8(bytes);
  } else {
    *text = bytes;
  }
  size_t bad = 0;
  if (!IsUtf8(*text, &bad)) {
    *error = {LineAt(*text, bad), "not UTF-8 text"};
    return false;
  }
  return true;
}

// The text's lines without their trailing blanks and carriage returns.
std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t start = 0; start <= text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(TrimRight(text.substr(start, end - start)));
    start = end + 1;
  }
  return lines;
}

// A [KEY] or [-KEY] line, line[pos] being its '[', as the edit that creates
// or deletes the key.
bool ParseKeyLine(const std::string& line, size_t pos, RegFileEdit* edit, LineError* error) {
  if (line.back() != ']') {
    *error = {edit->line, "key line without closing ]"};
    return false;
  }
  std::string inner = line.substr(pos + 1, line.size() - pos - 2);
  const bool deleted = !inner.empty() && inner[0] == '-';
  if (deleted) inner.erase(0, 1);
  if (Status parsed = ParseRootedKeyPath(inner, &edit->keyPath); !parsed.ok()) {
    *error = {edit->line, parsed.message()};
    return false;
  }
  if (deleted && edit->keyPath.empty()) {
    *error = {edit->line, "HKEY_CURRENT_USER cannot be deleted"};
    return false;
  }
  edit->kind = deleted ? RegFileEdit::Kind::DeleteKey : RegFileEdit::Kind::CreateKey;
  return true;
}

// dword:XXXXXXXX, line[pos] being its first hex digit.
bool ParseDword(const std::string& line, size_t pos, RegFileEdit* edit, LineError* error) {
  uint32_t value = 0;
  size_t digits = 0;
  for (; pos < line.size() && HexDigit(line[pos]) >= 0; ++pos, ++digits) {
    value = (value << 4) | static_cast<uint32_t>(HexDigit(line[pos]));
  }
  if (digits == 0 || digits > 8) {
    *error = {edit->line, "dword: needs 1 to 8 hex digits"};
    return false;
  }
  if (SkipBlanks(line, pos) != line.size()) {
    *error = {edit->line, "unexpected text after the dword"};
    return false;
  }
  edit->kind = RegFileEdit::Kind::SetValue;
  edit->type = kRegDword;
  edit->data = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
  return true;
}

// The (N) of hex(N):, line[*pos] being its '(': the value's type, kept as
// given; *pos ends after the ')'.
bool ParseHexType(const std::string& line, size_t* pos, RegFileEdit* edit, LineError* error) {
  uint64_t type = 0;
  size_t digits = 0;
  for (++*pos; *pos < line.size() && HexDigit(line[*pos]) >= 0; ++*pos, ++digits) {
    // Once past 32 bits it stays past them, however many digits follow.
    if (type <= 0xFFFFFFFFu) type = (type << 4) | static_cast<uint64_t>(HexDigit(line[*pos]));
  }
  if (digits == 0 || type > 0xFFFFFFFFu || *pos >= line.size() || line[*pos] != ')') {
    *error = {edit->line, "hex(N) needs a hex type number"};
    return false;
  }
  edit->type = static_cast<uint32_t>(type);
  ++*pos;
  return true;
}

// One physical line's part of hex data: bytes between commas. lineNumber
// names the line in an error.
bool ReadHexBytes(const std::string& segment, int lineNumber, std::vector<uint8_t>* data,
                  LineError* error) {
  size_t at = 0;
  while (true) {
    at = SkipBlanks(segment, at);
    if (at == segment.size()) return true;
    const int high = HexDigit(segment[at]);
    if (high < 0) {
      *error = {lineNumber, "expected a hex byte"};
      return false;
    }
    int byte = high;
    if (at + 1 < segment.size() && HexDigit(segment[at + 1]) >= 0) {
      byte = high * 16 + HexDigit(segment[++at]);
    }
    data->push_back(static_cast<uint8_t>(byte));
    at = SkipBlanks(segment, at + 1);
    if (at == segment.size()) return true;
    if (segment[at] != ',') {
      *error = {lineNumber, "expected , between hex bytes"};
      return false;
    }
    ++at;
  }
}

// Hex data from lines[*index][pos] on, continued by a trailing "\" on the
// following lines; *index ends at its last line. Each physical line is read
// on its own, so an error names its line.
bool ReadHexData(const std::vector<std::string>& lines, size_t* index, size_t pos,
                 std::vector<uint8_t>* data, LineError* error) {
  std::string segment = lines[*index].substr(pos);
  size_t segmentIndex = *index;
  for (;;) {
    const bool more = !segment.empty() && segment.back() == '\\';
    if (more) segment.pop_back();
    if (!ReadHexBytes(segment, static_cast<int>(segmentIndex) + 1, data, error)) return false;
    if (!more) break;
    if (++segmentIndex >= lines.size()) {
      *error = {static_cast<int>(segmentIndex), "hex data continues past the end of the file"};
      return false;
    }
    segment = lines[segmentIndex];
  }
  *index = segmentIndex;
  return true;
}

// hex: or hex(N):, lines[*index][pos] being the text after "hex". The text
// types come as UTF-16LE in a version 5.00 file (unicode) and as
// Windows-1252 in a REGEDIT4 one, and are kept as UTF-8.
bool ParseHexValue(const std::vector<std::string>& lines, size_t* index, size_t pos, bool unicode,
                   RegFileEdit* edit, LineError* error) {
  const std::string& line = lines[*index];
  edit->type = kRegBinary;
  if (pos < line.size() && line[pos] == '(' && !ParseHexType(line, &pos, edit, error)) {
    return false;
  }
  if (pos >= line.size() || line[pos] != ':') {
    *error = {edit->line, "expected : after hex"};
    return false;
  }
  if (!ReadHexData(lines, index, pos + 1, &edit->data, error)) return false;
  if (IsTextType(edit->type)) {
    std::string converted;
    if (unicode) {
      size_t bad = 0;
      if (!DecodeUtf16Le(edit->data.data(), edit->data.size(), &converted, &bad)) {
        *error = {edit->line, "hex(" + std::to_string(edit->type) + ") data is not UTF-16 text"};
        return false;
      }
    } else {
      converted = Cp1252ToUtf8(std::string(edit->data.begin(), edit->data.end()));
    }
    edit->data.assign(converted.begin(), converted.end());
  }
  edit->kind = RegFileEdit::Kind::SetValue;
  return true;
}

// What follows the = of a value line, lines[*index][pos] being its first
// character: -, "text", dword: or hex data (which may continue on the
// following lines, *index ending at its last).
bool ParseValueData(const std::vector<std::string>& lines, size_t* index, size_t pos, bool unicode,
                    RegFileEdit* edit, LineError* error) {
  const std::string& line = lines[*index];
  auto fail = [&](const std::string& message) {
    *error = {edit->line, message};
    return false;
  };
  auto rest_is_blank = [&](size_t at) { return SkipBlanks(line, at) == line.size(); };
  if (pos < line.size() && line[pos] == '-') {
    if (!rest_is_blank(pos + 1)) return fail("unexpected text after =-");
    edit->kind = RegFileEdit::Kind::DeleteValue;
    return true;
  }
  if (pos < line.size() && line[pos] == '"') {
    std::string value, message;
    if (!ParseQuoted(line, &pos, &value, &message)) return fail(message);
    if (!rest_is_blank(pos)) return fail("unexpected text after the string");
    edit->kind = RegFileEdit::Kind::SetValue;
    edit->type = kRegSz;
    edit->data.assign(value.begin(), value.end());
    edit->data.push_back(0);
    return true;
  }
  if (StartsWithNoCase(line, pos, "dword:")) return ParseDword(line, pos + 6, edit, error);
  if (StartsWithNoCase(line, pos, "hex")) {
    return ParseHexValue(lines, index, pos + 3, unicode, edit, error);
  }
  return fail("unknown value data (expected \"text\", dword:, hex: or -)");
}

// A "Name"=... or @=... line, lines[*index][pos] being its '"' or '@', as
// the edit that sets or deletes the value.
bool ParseValueLine(const std::vector<std::string>& lines, size_t* index, size_t pos, bool unicode,
                    RegFileEdit* edit, LineError* error) {
  const std::string& line = lines[*index];
  std::string message;
  if (line[pos] == '@') {
    ++pos;
  } else if (!ParseQuoted(line, &pos, &edit->valueName, &message)) {
    *error = {edit->line, message};
    return false;
  }
  pos = SkipBlanks(line, pos);
  if (pos == line.size() || line[pos] != '=') {
    *error = {edit->line, "expected = after the name"};
    return false;
  }
  return ParseValueData(lines, index, SkipBlanks(line, pos + 1), unicode, edit, error);
}

}  // namespace

Status RegFile::Fail(int line, const std::string& message) {
  edits_.clear();
  return Status::Failure("line " + std::to_string(line) + ": " + message);
}

Status RegFile::Parse(const std::string& bytes) {
  edits_.clear();

  std::string text;
  LineError error;
  if (!DecodeFileText(bytes, &text, &error)) return Fail(error.line, error.message);
  const std::vector<std::string> lines = SplitLines(text);
  const bool unicode = lines[0] == kHeader5;
  if (!unicode && lines[0] != kHeader4) {
    return Fail(1, std::string("not a registry file: the first line must be \"") + kHeader5 +
                       "\" or \"" + kHeader4 + "\"");
  }

  bool inKey = false;    // a [KEY] line has been seen
  bool deleted = false;  // ... and it was a [-KEY] line
  std::vector<std::string> keyPath;
  for (size_t index = 1; index < lines.size(); ++index) {
    const int lineNumber = static_cast<int>(index) + 1;
    const std::string& line = lines[index];
    const size_t pos = SkipBlanks(line, 0);
    if (pos == line.size() || line[pos] == ';') continue;
    RegFileEdit edit;
    edit.line = lineNumber;

    if (line[pos] == '[') {
      if (!ParseKeyLine(line, pos, &edit, &error)) return Fail(error.line, error.message);
      keyPath = edit.keyPath;
      deleted = edit.kind == RegFileEdit::Kind::DeleteKey;
      edits_.push_back(std::move(edit));
      inKey = true;
      continue;
    }

    if (line[pos] != '"' && line[pos] != '@') {
      return Fail(lineNumber, "expected [KEY], \"Name\"=, @= or a comment");
    }
    if (!inKey) return Fail(lineNumber, "value before the first [KEY] line");
    edit.keyPath = keyPath;
    if (!ParseValueLine(lines, &index, pos, unicode, &edit, &error)) {
      return Fail(error.line, error.message);
    }
    if (!deleted) edits_.push_back(std::move(edit));
  }
  return Status::Ok();
}

Status RegFile::Apply(Registry* registry) {
  std::string error;
  const Status applied = registry->RunInTransaction([this, registry, &error] {
    for (const RegFileEdit& edit : edits_) {
      RegistryKey key = 0;
      Status done = Status::Ok();
      switch (edit.kind) {
        case RegFileEdit::Kind::CreateKey:
          done = registry->CreateKeyPath(kHkeyCurrentUser, edit.keyPath, &key);
          break;
        case RegFileEdit::Kind::DeleteKey: {
          const std::vector<std::string> parent(edit.keyPath.begin(), edit.keyPath.end() - 1);
          done = registry->OpenKeyPath(kHkeyCurrentUser, parent, &key);
          if (done.ok()) done = registry->DeleteKey(key, edit.keyPath.back());
          if (done.code() == Registry::kNotFound) done = Status::Ok();
          break;
        }
        case RegFileEdit::Kind::SetValue:
          done = registry->CreateKeyPath(kHkeyCurrentUser, edit.keyPath, &key);
          if (done.ok()) done = registry->SetValue(key, edit.valueName, edit.type, edit.data);
          break;
        case RegFileEdit::Kind::DeleteValue:
          done = registry->OpenKeyPath(kHkeyCurrentUser, edit.keyPath, &key);
          if (done.ok()) done = registry->DeleteValue(key, edit.valueName);
          if (done.code() == Registry::kNotFound) done = Status::Ok();
          break;
      }
      if (!done.ok()) {
        error = "line " + std::to_string(edit.line) + ": " + done.message();
        return false;
      }
    }
    return true;
  });
  if (applied.ok()) return Status::Ok();
  return Status::Failure(error.empty() ? applied.message() : error);
}

Status RegFile::Export(Registry* registry, const std::vector<std::string>& keyPath,
                       std::string* text) {
  // The names as stored, not as the caller spelled them.
  RegistryKey key = kHkeyCurrentUser;
  std::vector<std::string> names;
  for (const std::string& name : keyPath) {
    names.emplace_back();
    Status found = registry->OpenKey(key, name, &key);
    if (found.ok()) found = registry->KeyName(key, &names.back());
    if (!found.ok()) {
      return Status::Failure(found.code(), RootedKeyPathText(keyPath) + ": " + found.message());
    }
  }
  std::string out = std::string(kHeader5) + "\n\n";
  if (Status exported = ExportKey(registry, key, &names, &out); !exported.ok()) return exported;
  *text = std::move(out);
  return Status::Ok();
}
