// The rate dialog's state.
#include "settings/rate_dialog_model.h"

#include <optional>

#include "billing/rate_text.h"
#include "billing/rounding.h"
#include "settings/account_settings.h"
#include "settings/registry_key_stack.h"

namespace {

// Accts\account\item, created when missing; false when a level cannot be had.
bool CreateRateKey(RegistryKeyStack* stack, const std::string& account, const std::string& item) {
  return stack->CreatePath(kAcctsKeyPath) && stack->CreateChild(account) &&
         stack->CreateChild(item);
}

}  // namespace

RateDialogModel::RateDialogModel(std::string account, std::string item)
    : account_(std::move(account)), item_(std::move(item)) {
  RegistryKeyStack stack;
  uint32_t rate = 0;
  // Shown as signed, as every rate lookup reads it.
  if (CreateRateKey(&stack, account_, item_) && stack.QueryDword("Rate", &rate)) {
    initialText_ = FormatRate(static_cast<int32_t>(rate));
  }
  stack.CloseAll();
}

std::string RateDialogModel::Caption() const {
  std::string caption = account_;
  if (item_ != "All") caption += "/" + item_;
  return caption + " Rate";
}

bool RateDialogModel::Save(const std::string& text) const {
  const std::optional<int32_t> rate = ParseRateText(text);
  if (!rate) return false;
  RegistryKeyStack stack;
  if (CreateRateKey(&stack, account_, item_)) stack.SetDword("Rate", static_cast<uint32_t>(*rate));
  stack.CloseAll();
  return true;
}
