// The classic RAPI protocol's commands, answered from a handheld image.
//
// Every request is the command number, then its arguments; every answer
// starts with 0, or 1 and the HRESULT of a failure, then the command's
// results, mostly the device's last error first (rapi/rapi_wire.h has the
// fields, strings and optional arguments they are made of). A result goes
// back as an optional one for each optional argument the caller passed, and
// as 0 for each it did not.
#include "emulator/rapi_commands.h"

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <map>

#include "emulator/emulated_handheld.h"
#include "emulator/handheld_image.h"
#include "platform/utf16.h"
#include "rapi/rapi_wire.h"

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

}  // namespace

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
  if (!s.handheld.CeOidGetInfo(oid, &info) || !s.image.DatabaseName(oid, &name).ok()) return false;
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
    if (s.image.FindDatabase(name, &oid).ok()) oids.push_back(oid);
  }
  return oids;
}

// Each database has one sort order, on the key property.
void SortSpecs(RapiWriter& out) {
  for (uint32_t i = 0; i < kMaxSortOrders; ++i) {
    out.U32(i == 0 ? kKeyProperty : 0);
    out.U32(0);
  }
}

// The room an optional text argument gives, in UTF-16 units: what its size
// argument says when sent, else the room of the text argument itself.
uint32_t Room(const RapiParam& text, const RapiParam& size) {
  return size.present && size.value.size() == 4 ? size.U32() : text.size / 2;
}

// Commands. Each reads its arguments from in and writes its results to out;
// false when the arguments are not well formed.

bool CloseHandle(Session& s, RapiReader& in, RapiWriter& out) {
  uint32_t handle = 0;
  if (!in.U32(&handle)) return false;
  const bool ok = s.walks.erase(handle) == 1 || s.handheld.CeCloseHandle(handle);
  out.U32(ok ? 0 : kErrorInvalidHandle);
  out.U32(ok ? 1 : 0);
  return true;
}

bool FindFirstDatabase(Session& s, RapiReader& in, RapiWriter& out) {
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

bool FindNextDatabase(Session& s, RapiReader& in, RapiWriter& out) {
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

bool FindAllDatabases(Session& s, RapiReader& in, RapiWriter& out) {
  uint32_t type = 0;
  uint16_t flags = 0;
  if (!in.U32(&type) || !in.U16(&flags)) return false;
  const std::vector<CeOid> oids = Databases(s, type);
  std::vector<DatabaseFacts> found(oids.size());
  for (size_t i = 0; i < oids.size(); ++i) {
    // A database that cannot tell its record count fails the whole find:
    // no list may pass for complete without it.
    if (!Facts(s, oids[i], &found[i])) {
      out = RapiWriter::Failure(kFailed);
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

bool OidGetInfo(Session& s, RapiReader& in, RapiWriter& out) {
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

bool OpenDatabase(Session& s, RapiReader& in, RapiWriter& out) {
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

bool ReadRecordProps(Session& s, RapiReader& in, RapiWriter& out) {
  RapiRecordReadRequest read;
  if (!ReadRecordReadRequest(in, &read)) return false;
  uint16_t count = 0;
  std::vector<uint8_t> buffer;
  const CeOid record = s.handheld.CeReadRecordProps(read.handle, read.flags, &count, &buffer);
  if (!record) buffer.clear(), count = 0;
  // The values and their strings travel as they are kept: the string
  // offsets count from the start of the values.
  WriteRecordReadAnswer(record ? 0 : kErrorNoMoreItems, record, count, buffer, out);
  return true;
}

bool DeleteRecord(Session& s, RapiReader& in, RapiWriter& out) {
  uint32_t handle = 0, record = 0;
  if (!in.U32(&handle) || !in.U32(&record)) return false;
  const int ok = s.handheld.CeDeleteRecord(handle, record);
  out.U32(ok ? 0 : CE_ERROR_FILE_NOT_FOUND);
  out.U32(ok ? 1 : 0);
  return true;
}

bool SeekDatabase(Session& s, RapiReader& in, RapiWriter& out) {
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

bool RegOpenKeyEx(Session& s, RapiReader& in, RapiWriter& out) {
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

bool RegCloseKey(Session& s, RapiReader& in, RapiWriter& out) {
  uint32_t key = 0;
  if (!in.U32(&key)) return false;
  out.Result(s.handheld.CeRegCloseKey(key));
  return true;
}

bool RegQueryValueEx(Session& s, RapiReader& in, RapiWriter& out) {
  uint32_t key = 0;
  RapiParam name, reserved, type, data, size;
  if (!in.U32(&key) || !in.Optionals(&name, &reserved, &type, &data, &size)) return false;
  uint32_t capacity = size.value.size() == 4 ? size.U32() : data.size;
  capacity = std::min(capacity, kMaxRegistryValue);
  // A buffer of no bytes is still a buffer: the value does not fit in it.
  // Passed as none, it would ask for the value's size alone, which succeeds,
  // and the answer would then send that many bytes from nowhere.
  std::vector<uint8_t> value(std::max<uint32_t>(capacity, 1));
  uint32_t valueType = 0;
  uint32_t got = capacity;
  const int32_t result = s.handheld.CeRegQueryValueEx(key, RapiUnits(name.value), &valueType,
                                                      data.present ? value.data() : nullptr, &got);
  out.Result(result);
  if (result != CE_ERROR_SUCCESS) return true;
  out.OptionalU32(valueType);
  if (data.present)
    out.Optional(value.data(), std::min(got, capacity));
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
  if (subkeys && !s.image.RegistrySubkeys(root, path, subkeys).ok()) return kErrorGenFailure;
  if (values && !s.image.RegistryValues(root, path, values).ok()) return kErrorGenFailure;
  return CE_ERROR_SUCCESS;
}

bool RegEnumKeyEx(Session& s, RapiReader& in, RapiWriter& out) {
  uint32_t key = 0, index = 0;
  RapiParam name, nameSize, reserved, className, classSize, written;
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

bool RegEnumValue(Session& s, RapiReader& in, RapiWriter& out) {
  uint32_t key = 0, index = 0;
  RapiParam name, nameSize, reserved, type, data, dataSize;
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

bool RegQueryInfoKey(Session& s, RapiReader& in, RapiWriter& out) {
  uint32_t key = 0;
  RapiParam className, classSize, reserved, subkeyCount, subkeyLength, classLength, valueCount,
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

bool GetVersionEx(Session&, RapiReader&, RapiWriter& out) {
  // Its size, the version, the platform, then a service-pack text (none).
  const uint32_t size = 5 * 4 + kVersionTextUnits * 2;
  out.U32(0);
  out.U32(1);
  out.U32(size);
  for (uint32_t word : {size, kOsMajor, kOsMinor, kOsBuild, kPlatformWinCe}) out.U32(word);
  out.Units(std::u16string(kVersionTextUnits, u'\0'));
  return true;
}

bool GetSystemInfo(Session&, RapiReader& in, RapiWriter& out) {
  RapiParam info;
  if (!in.Optional(&info)) return false;
  out.U32(0);  // the last error, and no result: the call returns nothing
  if (!info.present) return out.U32(0), true;
  RapiWriter fields;
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

bool GetSystemPowerStatusEx(Session&, RapiReader& in, RapiWriter& out) {
  RapiParam status;
  uint32_t refresh = 0;
  if (!in.Optional(&status) || !in.U32(&refresh)) return false;
  out.U32(0);
  out.U32(1);
  if (!status.present) return out.U32(0), true;
  // The line status, then the main and the backup battery: after a byte
  // (reserved or the line status) its flag and percent, a reserved byte,
  // then the life left and the full life, unknown on the cradle.
  RapiWriter fields;
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

bool GetStoreInformation(Session& s, RapiReader& in, RapiWriter& out) {
  RapiParam info;
  if (!in.Optional(&info)) return false;
  out.U32(0);
  out.U32(1);
  if (!info.present) return out.U32(0), true;
  const Store store = StoreOf(s.image);
  RapiWriter fields;
  fields.U32(store.size);
  fields.U32(store.free);
  out.Optional(fields);
  return true;
}

// The memory is the store and the programs' memory: 32 MB, or the store and
// 16 MB more when the store is larger.
bool GetSystemMemoryDivision(Session& s, RapiReader& in, RapiWriter& out) {
  RapiParam storagePages, ramPages, pageSize;
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

using Handler = bool (*)(Session&, RapiReader&, RapiWriter&);
struct Command {
  RapiCommand number;
  Handler handler;
};
constexpr Command kCommands[] = {
    {RapiCommand::CloseHandle, CloseHandle},
    {RapiCommand::FindFirstDatabase, FindFirstDatabase},
    {RapiCommand::FindNextDatabase, FindNextDatabase},
    {RapiCommand::OidGetInfo, OidGetInfo},
    {RapiCommand::OpenDatabase, OpenDatabase},
    {RapiCommand::ReadRecordProps, ReadRecordProps},
    {RapiCommand::DeleteRecord, DeleteRecord},
    {RapiCommand::SeekDatabase, SeekDatabase},
    {RapiCommand::RegOpenKeyEx, RegOpenKeyEx},
    {RapiCommand::RegEnumKeyEx, RegEnumKeyEx},
    {RapiCommand::RegCloseKey, RegCloseKey},
    {RapiCommand::RegEnumValue, RegEnumValue},
    {RapiCommand::RegQueryInfoKey, RegQueryInfoKey},
    {RapiCommand::RegQueryValueEx, RegQueryValueEx},
    {RapiCommand::GetSystemMemoryDivision, GetSystemMemoryDivision},
    {RapiCommand::GetStoreInformation, GetStoreInformation},
    {RapiCommand::FindAllDatabases, FindAllDatabases},
    {RapiCommand::GetSystemInfo, GetSystemInfo},
    {RapiCommand::GetVersionEx, GetVersionEx},
    {RapiCommand::GetSystemPowerStatusEx, GetSystemPowerStatusEx},
};

}  // namespace

RapiCommands::RapiCommands(EmulatedHandheld& handheld, HandheldImage& image)
    : session_(std::make_unique<Session>(Session{handheld, image, {}, kFirstWalkHandle})) {}

RapiCommands::~RapiCommands() = default;

void RapiCommands::Answer(const std::vector<uint8_t>& body, std::vector<uint8_t>* out) {
  RapiReader in(body);
  uint32_t command = 0;
  in.U32(&command);
  const Command* found =
      std::find_if(std::begin(kCommands), std::end(kCommands),
                   [&](const Command& c) { return static_cast<uint32_t>(c.number) == command; });
  RapiWriter reply = RapiWriter::Answer();
  if (found == std::end(kCommands)) {
    reply = RapiWriter::Failure(kNotImplemented);
  } else if (!found->handler(*session_, in, reply)) {
    reply = RapiWriter::Failure(kInvalidArgument);
  }
  reply.AppendPacket(out);
}
