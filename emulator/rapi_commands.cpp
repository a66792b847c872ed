// The classic RAPI protocol's commands, answered from a handheld image.
//
// Every request is little-endian: the command number, then its arguments.
// Every answer is a 32-bit word that is 0 for an answer, or 1 for a failure
// followed by its HRESULT, then the command's results, mostly the device's
// last error first. Many arguments are "optional": 0 when the caller passed
// no pointer, else 1, the room it points to in bytes, whether its value
// follows (1) or only room for a result (0), and the value. A result goes
// back the same way for each optional argument the caller passed, and as 0
// for each it did not.
#include "emulator/rapi_commands.h"

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <map>

#include "emulator/emulated_handheld.h"
#include "emulator/handheld_image.h"
#include "platform/utf16.h"

namespace {

constexpr uint32_t kNotImplemented = 0x80004001u;   // E_NOTIMPL
constexpr uint32_t kInvalidArgument = 0x80070057u;  // E_INVALIDARG
constexpr uint32_t kFailed = 0x80004005u;           // E_FAIL
constexpr int32_t kErrorInvalidHandle = 6;
constexpr int32_t kErrorTooManyOpen = 4;
constexpr int32_t kErrorGenFailure = 31;
constexpr int32_t kErrorNoMoreItems = 259;
constexpr uint32_t kInvalidHandleValue = 0xFFFFFFFFu;
constexpr uint16_t kObjectDatabase = 3;
constexpr uint32_t kMaxSortOrders = 4;
constexpr size_t kDatabaseNameUnits = 32;  // with the terminator
constexpr uint32_t kDatabaseType = 0;      // the handheld's databases are all of type 0
constexpr uint32_t kMaxRegistryValue = 64 * 1024;
constexpr uint32_t kMaxStringUnits = 64 * 1024;
// Database enumerations get handles far from those of databases (counted
// from 1), and a connection keeps only so many open.
constexpr uint32_t kFirstWalkHandle = 0x40000001u;
constexpr size_t kMaxWalks = 64;

// What CeFindAllDatabases is asked to give of each database.
constexpr uint16_t kFindOid = 0x0001, kFindFlags = 0x0002, kFindName = 0x0004, kFindType = 0x0008,
                   kFindRecords = 0x0010, kFindSortOrders = 0x0020, kFindSize = 0x0040,
                   kFindModified = 0x0080, kFindSortSpecs = 0x0100;

// The system the handheld reports: a Pocket PC 2003 (Windows CE 4.20, build
// 1081) on an ARM processor (StrongARM, as the handheld tells the connection
// manager), on mains power in its cradle with full batteries.
constexpr uint32_t kOsMajor = 4, kOsMinor = 20, kOsBuild = 1081, kPlatformWinCe = 3;
constexpr size_t kVersionTextUnits = 128;
constexpr uint16_t kArchitectureArm = 5;
constexpr uint32_t kProcessorStrongArm = 2577;
constexpr uint32_t kPageSize = 4096;
constexpr uint32_t kAllocationGranularity = 0x10000;
constexpr uint8_t kAcOnline = 1, kBatteryHigh = 1, kBatteryFull = 100;
constexpr uint32_t kBatteryLifeUnknown = 0xFFFFFFFFu;
constexpr uint64_t kMegabyte = 1024 * 1024;
constexpr uint64_t kLeastStore = 16 * kMegabyte;
constexpr uint64_t kLeastMemory = 32 * kMegabyte;

uint32_t LittleEndian32(const uint8_t* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// An optional argument.
struct Param {
  bool present = false;
  uint32_t size = 0;           // the room the caller has, in bytes
  std::vector<uint8_t> value;  // when its value was sent
  uint32_t U32() const { return value.size() == 4 ? LittleEndian32(value.data()) : 0; }
};

// Reads a request's fields; every read past its end fails.
class Request {
 public:
  explicit Request(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}
  bool U16(uint16_t* v) {
    if (bytes_.size() - pos_ < 2) return false;
    *v = static_cast<uint16_t>(bytes_[pos_] | bytes_[pos_ + 1] << 8);
    pos_ += 2;
    return true;
  }
  bool U32(uint32_t* v) {
    if (bytes_.size() - pos_ < 4) return false;
    *v = LittleEndian32(bytes_.data() + pos_);
    pos_ += 4;
    return true;
  }
  bool Bytes(size_t n, std::vector<uint8_t>* out) {
    if (bytes_.size() - pos_ < n) return false;
    out->assign(bytes_.begin() + static_cast<std::ptrdiff_t>(pos_),
                bytes_.begin() + static_cast<std::ptrdiff_t>(pos_ + n));
    pos_ += n;
    return true;
  }
  // A string: 1, its length in UTF-16 units with the terminator, the units;
  // or, when absent is allowed, 0 for none (read as empty).
  bool String(std::u16string* out, bool absentAllowed = false) {
    uint32_t present = 0, units = 0;
    if (!U32(&present)) return false;
    out->clear();
    if (present == 0 && absentAllowed) return true;
    if (present != 1 || !U32(&units) || units > kMaxStringUnits) return false;
    std::vector<uint8_t> raw;
    if (!Bytes(static_cast<size_t>(units) * 2, &raw)) return false;
    *out = RapiUnits(raw);
    return true;
  }
  bool Optional(Param* p) {
    uint32_t have = 0, sent = 0;
    if (!U32(&have)) return false;
    p->present = have == 1;
    p->size = 0;
    p->value.clear();
    if (!p->present) return have == 0;
    if (!U32(&p->size) || !U32(&sent) || sent > 1) return false;
    return sent == 0 || Bytes(p->size, &p->value);
  }
  // Optional arguments, in order.
  template <typename... P>
  bool Optionals(P*... params) {
    return (Optional(params) && ...);
  }

 private:
  const std::vector<uint8_t>& bytes_;
  size_t pos_ = 0;
};

class Reply {
 public:
  Reply() { U32(0); }  // an answer, not a failure
  static Reply Failure(uint32_t hresult) {
    Reply r;
    r.bytes_.clear();
    r.U32(1);
    r.U32(hresult);
    return r;
  }
  void U8(uint8_t v) { bytes_.push_back(v); }
  void U16(uint16_t v) {
    bytes_.push_back(static_cast<uint8_t>(v));
    bytes_.push_back(static_cast<uint8_t>(v >> 8));
  }
  void U32(uint32_t v) {
    for (int k = 0; k < 4; ++k) bytes_.push_back(static_cast<uint8_t>(v >> (8 * k)));
  }
  void Bytes(const uint8_t* data, size_t n) { bytes_.insert(bytes_.end(), data, data + n); }
  void Units(const std::u16string& text) {
    for (char16_t c : text) U16(c);
  }
  // The device's last error, then a registry call's result: the same.
  void Result(int32_t result) {
    U32(static_cast<uint32_t>(result));
    U32(static_cast<uint32_t>(result));
  }
  // An optional result, sent.
  void Optional(const uint8_t* data, uint32_t n) {
    U32(1);
    U32(n);
    U32(1);
    Bytes(data, n);
  }
  void Optional(const Reply& fields) {
    Optional(fields.bytes_.data(), static_cast<uint32_t>(fields.bytes_.size()));
  }
  void OptionalU32(uint32_t v) {
    uint8_t le[4];
    for (int k = 0; k < 4; ++k) le[k] = static_cast<uint8_t>(v >> (8 * k));
    Optional(le, 4);
  }
  // The result for an optional argument: sent when the caller passed it.
  void OptionalU32(const Param& asked, uint32_t v) {
    if (asked.present)
      OptionalU32(v);
    else
      U32(0);
  }
  // Zero-terminated text, when asked.
  void OptionalText(const Param& asked, const std::u16string& text) {
    if (!asked.present) return U32(0);
    Reply units = Fields();
    units.Units(text);
    units.U16(0);
    Optional(units);
  }
  // n zero bytes (a time nobody keeps), when asked.
  void OptionalZeros(const Param& asked, uint32_t n) {
    if (!asked.present) return U32(0);
    const std::vector<uint8_t> zeros(n);
    Optional(zeros.data(), n);
  }
  // An empty list of fields, to be sent as one optional result.
  static Reply Fields() {
    Reply r;
    r.bytes_.clear();
    return r;
  }
  // Appends the packet (its length, then the body) to out.
  void AppendPacket(std::vector<uint8_t>* out) const {
    const auto n = static_cast<uint32_t>(bytes_.size());
    for (int k = 0; k < 4; ++k) out->push_back(static_cast<uint8_t>(n >> (8 * k)));
    out->insert(out->end(), bytes_.begin(), bytes_.end());
  }

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace

std::u16string RapiUnits(const std::vector<uint8_t>& raw) {
  std::u16string text;
  for (size_t i = 0; i + 1 < raw.size(); i += 2) {
    const auto c = static_cast<char16_t>(raw[i] | raw[i + 1] << 8);
    if (c == 0) break;
    text.push_back(c);
  }
  return text;
}

struct RapiCommands::Session {
  EmulatedHandheld& handheld;
  HandheldImage& image;
  // Database enumerations by handle: the databases each has still to give,
  // the next last.
  std::map<uint32_t, std::vector<CeOid>> walks;
  uint32_t nextWalk = kFirstWalkHandle;
};

namespace {

using Session = RapiCommands::Session;

// What a find or an information request tells of a database.
struct DatabaseFacts {
  CeOid oid = 0;
  std::u16string name;  // at most 31 units, as the handheld keeps names
  uint16_t records = 0;
};

bool Facts(Session& s, CeOid oid, DatabaseFacts* facts) {
  CeOidInfo info;
  std::string name;
  if (!s.handheld.CeOidGetInfo(oid, &info) || !s.image.DatabaseName(oid, &name)) return false;
  facts->oid = oid;
  facts->name = Utf8ToUtf16(name).substr(0, kDatabaseNameUnits - 1);
  facts->records = info.wNumRecords;
  return true;
}

// The image's databases of a type, in the order the handheld made them.
std::vector<CeOid> Databases(Session& s, uint32_t type) {
  std::vector<CeOid> oids;
  // Type 0 asks for every type; the handheld's databases are all of type 0.
  if (type != kDatabaseType) return oids;
  for (const char* name : kHandheldDatabases) {
    CeOid oid = 0;
    if (s.image.FindDatabase(name, &oid)) oids.push_back(oid);
  }
  return oids;
}

// Each database has one sort order, on the key property.
void SortSpecs(Reply& out) {
  for (uint32_t i = 0; i < kMaxSortOrders; ++i) {
    out.U32(i == 0 ? kKeyProperty : 0);
    out.U32(0);
  }
}

// The room an optional text argument gives, in UTF-16 units: what its size
// argument says when sent, else the room of the text argument itself.
uint32_t Room(const Param& text, const Param& size) {
  return size.present && size.value.size() == 4 ? size.U32() : text.size / 2;
}

// Commands. Each reads its arguments from in and writes its results to out;
// false when the arguments are not well formed.

bool CloseHandle(Session& s, Request& in, Reply& out) {
  uint32_t handle = 0;
  if (!in.U32(&handle)) return false;
  const bool ok = s.walks.erase(handle) == 1 || s.handheld.CeCloseHandle(handle);
  out.U32(ok ? 0 : kErrorInvalidHandle);
  out.U32(ok ? 1 : 0);
  return true;
}

bool FindFirstDatabase(Session& s, Request& in, Reply& out) {
  uint32_t type = 0;
  if (!in.U32(&type)) return false;
  if (s.walks.size() >= kMaxWalks) {
    out.U32(kErrorTooManyOpen);
    out.U32(kInvalidHandleValue);
    return true;
  }
  std::vector<CeOid> left = Databases(s, type);
  std::reverse(left.begin(), left.end());
  const uint32_t handle = s.nextWalk++;
  s.walks[handle] = std::move(left);
  out.U32(0);
  out.U32(handle);
  return true;
}

bool FindNextDatabase(Session& s, Request& in, Reply& out) {
  uint32_t handle = 0;
  if (!in.U32(&handle)) return false;
  auto walk = s.walks.find(handle);
  if (walk == s.walks.end() || walk->second.empty()) {
    out.U32(walk == s.walks.end() ? kErrorInvalidHandle : kErrorNoMoreItems);
    out.U32(0);
    return true;
  }
  out.U32(0);
  out.U32(walk->second.back());
  walk->second.pop_back();
  return true;
}

bool FindAllDatabases(Session& s, Request& in, Reply& out) {
  uint32_t type = 0;
  uint16_t flags = 0;
  if (!in.U32(&type) || !in.U16(&flags)) return false;
  const std::vector<CeOid> oids = Databases(s, type);
  std::vector<DatabaseFacts> found(oids.size());
  for (size_t i = 0; i < oids.size(); ++i) {
    // A database that cannot tell its record count fails the whole find:
    // no list may pass for complete without it.
    if (!Facts(s, oids[i], &found[i])) {
      out = Reply::Failure(kFailed);
      return true;
    }
  }
  out.U16(static_cast<uint16_t>(found.size()));
  for (const DatabaseFacts& db : found) {
    if (flags & kFindOid) out.U32(db.oid);
    if (flags & kFindName) out.U32(static_cast<uint32_t>(db.name.size() + 1));
    if (flags & kFindFlags) out.U32(0);
    if (flags & kFindName) {
      out.Units(db.name);
      out.U16(0);
    }
    if (flags & kFindType) out.U32(kDatabaseType);
    if (flags & kFindRecords) out.U16(db.records);
    if (flags & kFindSortOrders) out.U16(1);
    if (flags & kFindSize) out.U32(0);
    if (flags & kFindModified) out.U32(0), out.U32(0);
    if (flags & kFindSortSpecs) SortSpecs(out);
  }
  return true;
}

bool OidGetInfo(Session& s, Request& in, Reply& out) {
  uint32_t oid = 0;
  if (!in.U32(&oid)) return false;
  DatabaseFacts db;
  if (!Facts(s, oid, &db)) {
    out.U32(kErrorInvalidHandle);
    out.U32(0);  // and nothing more: the caller's read of the rest fails
    return true;
  }
  out.U32(0);
  out.U32(1);
  out.U16(kObjectDatabase);
  out.U16(4 + kDatabaseNameUnits * 2);
  out.U32(0);  // flags
  std::u16string name = db.name;
  name.resize(kDatabaseNameUnits, u'\0');
  out.Units(name);
  out.U32(kDatabaseType);
  out.U16(db.records);
  out.U16(1);  // one sort order
  out.U32(0);  // size
  out.U32(0);  // last modified
  out.U32(0);
  SortSpecs(out);
  return true;
}

bool OpenDatabase(Session& s, Request& in, Reply& out) {
  uint32_t oid = 0, property = 0, flags = 0;
  std::u16string name;
  if (!in.U32(&oid) || !in.U32(&property) || !in.U32(&flags) || (oid == 0 && !in.String(&name))) {
    return false;
  }
  const bool byName = oid == 0;
  const CeHandle handle = s.handheld.CeOpenDatabase(&oid, name, property, flags);
  out.U32(handle == kCeInvalidHandle ? CE_ERROR_FILE_NOT_FOUND : 0);
  out.U32(handle);
  if (byName) out.U32(handle == kCeInvalidHandle ? 0 : oid);
  return true;
}

bool ReadRecordProps(Session& s, Request& in, Reply& out) {
  uint32_t handle = 0, flags = 0, unused = 0;
  uint16_t none = 0;
  if (!in.U32(&handle) || !in.U32(&flags) || !in.U32(&unused) || !in.U32(&unused) ||
      !in.U32(&unused) || !in.U16(&none)) {
    return false;
  }
  uint16_t count = 0;
  std::vector<uint8_t> buffer;
  const CeOid record = s.handheld.CeReadRecordProps(handle, flags, &count, &buffer);
  out.U32(record ? 0 : kErrorNoMoreItems);
  out.U32(record);
  if (!record) buffer.clear(), count = 0;
  // The values and their strings travel as they are kept: the string
  // offsets count from the start of the values.
  out.U32(static_cast<uint32_t>(buffer.size()));
  out.U16(count);
  out.Bytes(buffer.data(), buffer.size());
  return true;
}

bool DeleteRecord(Session& s, Request& in, Reply& out) {
  uint32_t handle = 0, record = 0;
  if (!in.U32(&handle) || !in.U32(&record)) return false;
  const int ok = s.handheld.CeDeleteRecord(handle, record);
  out.U32(ok ? 0 : CE_ERROR_FILE_NOT_FOUND);
  out.U32(ok ? 1 : 0);
  return true;
}

bool SeekDatabase(Session& s, Request& in, Reply& out) {
  uint32_t handle = 0, type = 0, value = 0;
  if (!in.U32(&handle) || !in.U32(&type) || !in.U32(&value)) return false;
  uint32_t index = 0;
  // A seek by value carries a property value the protocol has no room for
  // here: it is refused, as by any handheld that does not know it.
  const CeOid record = type == CEDB_SEEK_VALUEFIRSTEQUAL
                           ? 0
                           : s.handheld.CeSeekDatabase(handle, type, value, nullptr, &index);
  out.U32(record ? 0 : kErrorNoMoreItems);
  out.U32(record);
  out.U32(index);
  return true;
}

bool RegOpenKeyEx(Session& s, Request& in, Reply& out) {
  uint32_t root = 0;
  std::u16string subKey;
  // No sub-key at all opens the key itself, as an empty one does.
  if (!in.U32(&root) || !in.String(&subKey, true)) return false;
  uint32_t key = 0;
  const int32_t result = s.handheld.CeRegOpenKeyEx(root, subKey, &key);
  out.Result(result);
  if (result == CE_ERROR_SUCCESS) out.U32(key);
  return true;
}

bool RegCloseKey(Session& s, Request& in, Reply& out) {
  uint32_t key = 0;
  if (!in.U32(&key)) return false;
  out.Result(s.handheld.CeRegCloseKey(key));
  return true;
}

bool RegQueryValueEx(Session& s, Request& in, Reply& out) {
  uint32_t key = 0;
  Param name, reserved, type, data, size;
  if (!in.U32(&key) || !in.Optionals(&name, &reserved, &type, &data, &size)) return false;
  uint32_t capacity = size.value.size() == 4 ? size.U32() : data.size;
  capacity = std::min(capacity, kMaxRegistryValue);
  std::vector<uint8_t> value(capacity);
  uint32_t valueType = 0;
  uint32_t got = capacity;
  const int32_t result = s.handheld.CeRegQueryValueEx(key, RapiUnits(name.value), &valueType,
                                                      data.present ? value.data() : nullptr, &got);
  out.Result(result);
  if (result != CE_ERROR_SUCCESS) return true;
  out.OptionalU32(valueType);
  if (data.present)
    out.Optional(value.data(), got);
  else
    out.U32(0);
  out.OptionalU32(got);
  return true;
}

// The key a handle names, with its sub-keys and values; the registry call's
// result.
int32_t OpenedKey(Session& s, uint32_t key, std::vector<std::u16string>* subkeys,
                  std::vector<HandheldImage::RegistryEntry>* values) {
  uint32_t root = 0;
  std::u16string path;
  if (!s.handheld.RegistryKey(key, &root, &path)) return kErrorInvalidHandle;
  if (subkeys && !s.image.RegistrySubkeys(root, path, subkeys)) return kErrorGenFailure;
  if (values && !s.image.RegistryValues(root, path, values)) return kErrorGenFailure;
  return CE_ERROR_SUCCESS;
}

bool RegEnumKeyEx(Session& s, Request& in, Reply& out) {
  uint32_t key = 0, index = 0;
  Param name, nameSize, reserved, className, classSize, written;
  if (!in.U32(&key) || !in.U32(&index) ||
      !in.Optionals(&name, &nameSize, &reserved, &className, &classSize, &written)) {
    return false;
  }
  std::vector<std::u16string> subkeys;
  int32_t result = OpenedKey(s, key, &subkeys, nullptr);
  if (result == CE_ERROR_SUCCESS && index >= subkeys.size()) result = kErrorNoMoreItems;
  if (result == CE_ERROR_SUCCESS && name.present && Room(name, nameSize) <= subkeys[index].size()) {
    result = CE_ERROR_MORE_DATA;
  }
  out.Result(result);
  if (result != CE_ERROR_SUCCESS) return true;
  out.OptionalText(name, subkeys[index]);
  out.OptionalU32(nameSize, static_cast<uint32_t>(subkeys[index].size()));
  out.OptionalText(className, u"");  // keys have no class
  out.OptionalU32(classSize, 0);
  out.OptionalZeros(written, 8);
  return true;
}

bool RegEnumValue(Session& s, Request& in, Reply& out) {
  uint32_t key = 0, index = 0;
  Param name, nameSize, reserved, type, data, dataSize;
  if (!in.U32(&key) || !in.U32(&index) ||
      !in.Optionals(&name, &nameSize, &reserved, &type, &data, &dataSize)) {
    return false;
  }
  std::vector<HandheldImage::RegistryEntry> values;
  int32_t result = OpenedKey(s, key, nullptr, &values);
  if (result == CE_ERROR_SUCCESS && index >= values.size()) result = kErrorNoMoreItems;
  if (result == CE_ERROR_SUCCESS) {
    const HandheldImage::RegistryEntry& v = values[index];
    const uint32_t dataRoom = dataSize.value.size() == 4 ? dataSize.U32() : data.size;
    if ((name.present && Room(name, nameSize) <= v.name.size()) ||
        (data.present && dataRoom < v.data.size())) {
      result = CE_ERROR_MORE_DATA;
    }
  }
  out.Result(result);
  if (result != CE_ERROR_SUCCESS) return true;
  const HandheldImage::RegistryEntry& v = values[index];
  const auto bytes = static_cast<uint32_t>(v.data.size());
  out.OptionalText(name, v.name);
  out.OptionalU32(nameSize, static_cast<uint32_t>(v.name.size()));
  out.OptionalU32(type, v.type);
  if (data.present)
    out.Optional(v.data.data(), bytes);
  else
    out.U32(0);
  out.OptionalU32(dataSize, bytes);
  return true;
}

bool RegQueryInfoKey(Session& s, Request& in, Reply& out) {
  uint32_t key = 0;
  Param className, classSize, reserved, subkeyCount, subkeyLength, classLength, valueCount,
      nameLength, valueLength, security, written;
  if (!in.U32(&key) ||
      !in.Optionals(&className, &classSize, &reserved, &subkeyCount, &subkeyLength, &classLength,
                    &valueCount, &nameLength, &valueLength, &security, &written)) {
    return false;
  }
  std::vector<std::u16string> subkeys;
  std::vector<HandheldImage::RegistryEntry> values;
  const int32_t result = OpenedKey(s, key, &subkeys, &values);
  out.Result(result);
  if (result != CE_ERROR_SUCCESS) return true;
  // Lengths of names in UTF-16 units without the terminator, of data in bytes.
  size_t longestSubkey = 0, longestName = 0, largestValue = 0;
  for (const std::u16string& k : subkeys) longestSubkey = std::max(longestSubkey, k.size());
  for (const HandheldImage::RegistryEntry& v : values) {
    longestName = std::max(longestName, v.name.size());
    largestValue = std::max(largestValue, v.data.size());
  }
  out.OptionalText(className, u"");
  out.OptionalU32(classSize, 0);
  out.OptionalU32(subkeyCount, static_cast<uint32_t>(subkeys.size()));
  out.OptionalU32(subkeyLength, static_cast<uint32_t>(longestSubkey));
  out.OptionalU32(classLength, 0);
  out.OptionalU32(valueCount, static_cast<uint32_t>(values.size()));
  out.OptionalU32(nameLength, static_cast<uint32_t>(longestName));
  out.OptionalU32(valueLength, static_cast<uint32_t>(largestValue));
  out.OptionalU32(security, 0);
  out.OptionalZeros(written, 8);
  return true;
}

bool GetVersionEx(Session&, Request&, Reply& out) {
  // Its size, the version, the platform, then a service-pack text (none).
  const uint32_t size = 5 * 4 + kVersionTextUnits * 2;
  out.U32(0);
  out.U32(1);
  out.U32(size);
  for (uint32_t word : {size, kOsMajor, kOsMinor, kOsBuild, kPlatformWinCe}) out.U32(word);
  out.Units(std::u16string(kVersionTextUnits, u'\0'));
  return true;
}

bool GetSystemInfo(Session&, Request& in, Reply& out) {
  Param info;
  if (!in.Optional(&info)) return false;
  out.U32(0);  // the last error, and no result: the call returns nothing
  if (!info.present) return out.U32(0), true;
  Reply fields = Reply::Fields();
  fields.U16(kArchitectureArm);
  fields.U16(0);
  fields.U32(kPageSize);
  fields.U32(0x10000);     // the lowest address a program has
  fields.U32(0x7FFFFFFF);  // and the highest
  fields.U32(1);           // one processor
  fields.U32(1);
  fields.U32(kProcessorStrongArm);
  fields.U32(kAllocationGranularity);
  fields.U16(4);  // processor level and revision
  fields.U16(0);
  out.Optional(fields);
  return true;
}

bool GetSystemPowerStatusEx(Session&, Request& in, Reply& out) {
  Param status;
  uint32_t refresh = 0;
  if (!in.Optional(&status) || !in.U32(&refresh)) return false;
  out.U32(0);
  out.U32(1);
  if (!status.present) return out.U32(0), true;
  // The line status, then the main and the backup battery: after a byte
  // (reserved or the line status) its flag and percent, a reserved byte,
  // then the life left and the full life, unknown on the cradle.
  Reply fields = Reply::Fields();
  for (uint8_t first : {kAcOnline, uint8_t{0}}) {
    fields.U8(first);
    fields.U8(kBatteryHigh);
    fields.U8(kBatteryFull);
    fields.U8(0);
    fields.U32(kBatteryLifeUnknown);
    fields.U32(kBatteryLifeUnknown);
  }
  out.Optional(fields);
  return true;
}

// The handheld's object store holds the image: at least 16 MB, in whole
// megabytes, with the image's bytes in use.
struct Store {
  uint32_t size = 0, free = 0;
};
Store StoreOf(const HandheldImage& image) {
  std::error_code ec;
  uint64_t used = std::filesystem::file_size(image.path(), ec);
  if (ec) used = 0;
  const uint64_t size = std::min<uint64_t>(
      std::max(kLeastStore, (used + kMegabyte - 1) / kMegabyte * kMegabyte), 4095 * kMegabyte);
  return {static_cast<uint32_t>(size), static_cast<uint32_t>(size - std::min(used, size))};
}

bool GetStoreInformation(Session& s, Request& in, Reply& out) {
  Param info;
  if (!in.Optional(&info)) return false;
  out.U32(0);
  out.U32(1);
  if (!info.present) return out.U32(0), true;
  const Store store = StoreOf(s.image);
  Reply fields = Reply::Fields();
  fields.U32(store.size);
  fields.U32(store.free);
  out.Optional(fields);
  return true;
}

// The memory is the store and the programs' memory: 32 MB, or the store and
// 16 MB more when the store is larger.
bool GetSystemMemoryDivision(Session& s, Request& in, Reply& out) {
  Param storagePages, ramPages, pageSize;
  if (!in.Optionals(&storagePages, &ramPages, &pageSize)) return false;
  const uint64_t store = StoreOf(s.image).size;
  const uint64_t memory = std::max(kLeastMemory, store + kLeastStore);
  out.U32(0);
  out.U32(1);
  out.OptionalU32(storagePages, static_cast<uint32_t>(store / kPageSize));
  out.OptionalU32(ramPages, static_cast<uint32_t>((memory - store) / kPageSize));
  out.OptionalU32(pageSize, kPageSize);
  return true;
}

using Handler = bool (*)(Session&, Request&, Reply&);
struct Command {
  uint32_t number;
  Handler handler;
};
constexpr Command kCommands[] = {
    {0x08, CloseHandle},
    {0x0a, FindFirstDatabase},
    {0x0b, FindNextDatabase},
    {0x0c, OidGetInfo},
    {0x0e, OpenDatabase},
    {0x10, ReadRecordProps},
    {0x12, DeleteRecord},
    {0x13, SeekDatabase},
    {0x1e, RegOpenKeyEx},
    {0x1f, RegEnumKeyEx},
    {0x21, RegCloseKey},
    {0x23, RegEnumValue},
    {0x25, RegQueryInfoKey},
    {0x26, RegQueryValueEx},
    {0x28, GetSystemMemoryDivision},
    {0x29, GetStoreInformation},
    {0x2c, FindAllDatabases},
    {0x2f, GetSystemInfo},
    {0x3b, GetVersionEx},
    {0x41, GetSystemPowerStatusEx},
};

}  // namespace

RapiCommands::RapiCommands(EmulatedHandheld& handheld, HandheldImage& image)
    : session_(std::make_unique<Session>(Session{handheld, image, {}, kFirstWalkHandle})) {}

RapiCommands::~RapiCommands() = default;

void RapiCommands::Answer(const std::vector<uint8_t>& body, std::vector<uint8_t>* out) {
  Request in(body);
  uint32_t command = 0;
  in.U32(&command);
  const Command* found = std::find_if(std::begin(kCommands), std::end(kCommands),
                                      [&](const Command& c) { return c.number == command; });
  Reply reply;
  if (found == std::end(kCommands)) {
    reply = Reply::Failure(kNotImplemented);
  } else if (!found->handler(*session_, in, reply)) {
    reply = Reply::Failure(kInvalidArgument);
  }
  reply.AppendPacket(out);
}
