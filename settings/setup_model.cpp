// The setup dialog's state.
#include "settings/setup_model.h"

#include <optional>

#include "billing/rate_text.h"
#include "billing/rounding.h"
#include "platform/utf8.h"
#include "settings/account_settings.h"
#include "settings/registry_key_stack.h"

namespace {

std::string AddressName(size_t line) { return "Address" + std::to_string(line + 1); }

}  // namespace

SetupModel::SetupModel() {
  RegistryKeyStack stack;
  if (stack.CreatePath(kSetupKeyPath)) {
    // The capacities count the terminating zero of the readers' buffers.
    for (size_t line = 0; line < initial_.addresses.size(); ++line) {
      stack.QueryString(AddressName(line), &initial_.addresses[line], kAddressChars + 1);
    }
    stack.QueryString("EditorPath", &initial_.editorPath, kEditorChars + 1);
    uint32_t rate = 0;
    if (stack.QueryDword("DefaultRate", &rate)) {
      initial_.defaultRate = FormatRate(static_cast<int32_t>(rate));
    }
    stack.QueryString("CurrencySymbol", &initial_.currencySymbol, kCurrencyChars + 1);
    uint32_t savePdf = 1;
    if (stack.QueryDword("SavePdf", &savePdf)) initial_.savePdf = savePdf != 0;
  }
  stack.CloseAll();
}

bool SetupModel::Save(const SetupValues& values) const {
  const std::optional<int32_t> rate = ParseRateText(values.defaultRate);
  if (!rate) return false;
  RegistryKeyStack stack;
  if (stack.CreatePath(kSetupKeyPath)) {
    for (size_t line = 0; line < values.addresses.size(); ++line) {
      stack.SetString(AddressName(line), CutToCharacters(values.addresses[line], kAddressChars));
    }
    stack.SetString("EditorPath", CutToCharacters(values.editorPath, kEditorChars));
    stack.SetDword("DefaultRate", static_cast<uint32_t>(*rate));
    stack.SetString("CurrencySymbol", CutToCharacters(values.currencySymbol, kCurrencyChars));
    stack.SetDword("SavePdf", values.savePdf ? 1 : 0);
  }
  stack.CloseAll();
  return true;
}

bool SetupModel::AcceptsCurrencyEdit(const std::string& before, const std::string& after) {
  if (CountCharacters(after) <= kCurrencyTypedChars) return true;
  // Longer than one character: let it through only when it is before with
  // one stretch deleted, as an edit with a length limit lets deletions
  // through and refuses insertions.
  if (after.size() >= before.size()) return false;
  size_t prefix = 0;
  while (prefix < after.size() && after[prefix] == before[prefix]) ++prefix;
  size_t suffix = 0;
  while (suffix < after.size() - prefix &&
         after[after.size() - 1 - suffix] == before[before.size() - 1 - suffix]) {
    ++suffix;
  }
  return prefix + suffix == after.size();
}
