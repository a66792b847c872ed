// A test's handheld store: the Setup folders written to the test registry and
// a store created from the built template.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "settings/account_settings.h"
#include "store/record_store.h"
#include "store/statements.h"
#include "support/test_env.h"

// Writes a string value of the Setup key.
void WriteSetupString(const std::string& name, const std::string& value);
// Writes a DWORD below the Setup key (account ""), or below Accts\account[\item].
void SetDword(const std::string& account, const std::string& item, const std::string& name,
              uint32_t value);
// Writes a string value of the key Accts\account.
void SetAccountString(const std::string& account, const std::string& name,
                      const std::string& value);

// A TestEnvironment whose DataPath is a "stores" folder in its temporary
// folder and whose ExecPath is the build's template folder.
class StoreFixture : public TestEnvironment {
 public:
  StoreFixture();
  std::string dataPath() const { return dir.File("stores"); }
  // Locates (and so creates) the store of deviceName; its path.
  std::string CreateStore(const std::string& deviceName);
  // Runs statements on the store; fails the test on any failure.
  void Run(const std::string& storePath, const std::vector<StoreStatement>& statements);
};
