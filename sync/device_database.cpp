// One of the handheld's property databases.
#include "sync/device_database.h"

#include "platform/utf16.h"

DeviceDatabase::DeviceDatabase(CePlatform& platform, std::string name, uint32_t sortProperty)
    : platform_(platform), name_(std::move(name)), sortProperty_(sortProperty) {}

DeviceDatabase::~DeviceDatabase() { Close(); }

CeHandle DeviceDatabase::Open() {
  std::u16string wide = Utf8ToUtf16(name_);
  if (wide.size() > kCeMaxDatabaseName) wide.resize(kCeMaxDatabaseName);
  objectId_ = 0;
  CeHandle handle = platform_.CeOpenDatabase(&objectId_, wide, sortProperty_, CEDB_AUTOINCREMENT);
  if (handle == kCeInvalidHandle || handle == 0) return 0;
  handle_ = handle;
  next_ = 0;
  isOpen_ = true;
  return handle_;
}

void DeviceDatabase::Close() {
  if (!isOpen_) return;
  platform_.CeCloseHandle(handle_);
  isOpen_ = false;
}

bool DeviceDatabase::RecordCount(uint16_t* count) {
  CeOidInfo info;
  if (!platform_.CeOidGetInfo(objectId_, &info)) return false;
  *count = info.wNumRecords;
  return true;
}

DeviceDatabase::ReadResult DeviceDatabase::ReadRecord(uint32_t i, size_t minProperties,
                                                      std::vector<CeValue>* values) {
  uint16_t propCount = 0;
  auto read = [&] {
    return platform_.CeReadRecordProps(handle_, CEDB_ALLOWREALLOC, &propCount, &buffer_) != 0 &&
           ReadPropertyBuffer(buffer_, propCount, values) && values->size() >= minProperties;
  };
  if (i == next_ && read()) {
    next_ = i + 1;
    return ReadResult::Ok;
  }
  // A failed request on a link that broke says nothing about the record:
  // trying again would only fail the same way.
  if (platform_.CeRapiGetError() != 0) return ReadResult::LinkLost;
  uint32_t index = 0;
  next_ = UINT32_MAX;
  if (platform_.CeSeekDatabase(handle_, CEDB_SEEK_BEGINNING, i, nullptr, &index) == 0) {
    return platform_.CeRapiGetError() != 0 ? ReadResult::LinkLost : ReadResult::SeekFailed;
  }
  if (!read()) {
    return platform_.CeRapiGetError() != 0 ? ReadResult::LinkLost : ReadResult::ReadFailed;
  }
  next_ = i + 1;
  return ReadResult::Ok;
}

CeOid DeviceDatabase::FindByKey(int32_t key) {
  CePropVal value;
  value.propid = kKeyProperty;
  value.value = static_cast<uint32_t>(key);
  uint32_t index = 0;
  next_ = UINT32_MAX;
  return platform_.CeSeekDatabase(handle_, CEDB_SEEK_VALUEFIRSTEQUAL, 0, &value, &index);
}

void DeviceDatabase::DeleteRecord(CeOid record) {
  next_ = UINT32_MAX;  // the records behind it move up
  platform_.CeDeleteRecord(handle_, record);
}

int DeviceDatabase::DeleteAllByKey(int32_t key) {
  int deleted = 0;
  CeOid last = 0;
  for (CeOid record = FindByKey(key); record != 0; record = FindByKey(key)) {
    // A record that survives its delete would be found forever.
    if (record == last) break;
    DeleteRecord(record);
    last = record;
    ++deleted;
  }
  return deleted;
}
