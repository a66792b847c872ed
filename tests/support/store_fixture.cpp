// A test's handheld store.
#include "support/store_fixture.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "settings/account_settings.h"
#include "settings/registry_key_stack.h"
#include "store/table_command.h"

void WriteSetupString(const std::string& name, const std::string& value) {
  RegistryKeyStack keys;
  keys.CreatePath(kSetupKeyPath);
  keys.SetString(name, value);
  keys.CloseAll();
}

void SetDword(const std::string& account, const std::string& item, const std::string& name,
              uint32_t value) {
  RegistryKeyStack keys;
  if (account.empty()) {
    keys.CreatePath(kSetupKeyPath);
  } else {
    keys.CreatePath(kAcctsKeyPath);
    keys.CreateChild(account);
    if (!item.empty()) keys.CreateChild(item);
  }
  keys.SetDword(name, value);
  keys.CloseAll();
}

void SetAccountString(const std::string& account, const std::string& name,
                      const std::string& value) {
  RegistryKeyStack keys;
  keys.CreatePath(kAcctsKeyPath);
  keys.CreateChild(account);
  keys.SetString(name, value);
  keys.CloseAll();
}

StoreFixture::StoreFixture() {
  ::mkdir(dataPath().c_str(), 0755);
  WriteSetupString("DataPath", dataPath());
  WriteSetupString("ExecPath", TemplateDir());
}

std::string StoreFixture::CreateStore(const std::string& deviceName) {
  RecordStore store(ReadStoreFolders());
  store.SetDeviceName(deviceName);
  EXPECT_TRUE(store.Locate());
  return store.storePath();
}

void StoreFixture::Run(const std::string& storePath,
                       const std::vector<StoreStatement>& statements) {
  for (const StoreStatement& statement : statements) {
    const Status status = ExecuteStatement(storePath, statement);
    EXPECT_EQ(status.code(), S_OK) << statement.Text() << ": " << status.message();
  }
}
