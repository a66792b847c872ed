// horalog: the desktop program's work without windows, for scripts and checks.
#include <CLI/CLI.hpp>

#include <iostream>

#include "device/emulated_handheld.h"
#include "device/sync_procedure.h"
#include "reporting/reporting_model.h"
#include "tools/horalog/console_sync_view.h"

namespace {

// Exit statuses of "sync".
int SyncExitCode(SyncProcedure::Outcome outcome) {
  switch (outcome) {
    case SyncProcedure::Outcome::Finished: return 0;
    case SyncProcedure::Outcome::NotConnected: return 1;
    case SyncProcedure::Outcome::StoreNotCreated: return 2;
    case SyncProcedure::Outcome::NameUnreadable: return 3;
  }
  return 1;
}

// Selects device, account and item as the window would; false after saying
// which one is unknown.
bool Select(ReportingModel& model, const std::string& device, const std::string& account,
            const std::string& item) {
  model.LoadDefaults();
  model.FillDeviceList(device);
  if (model.devices().FindStringExact(device) == ComboModel::kNone) {
    std::cerr << "horalog: no handheld named " << device << '\n';
    return false;
  }
  const int accountIndex = model.accounts().FindStringExact(account);
  if (accountIndex == ComboModel::kNone) {
    std::cerr << "horalog: no account named " << account << " on " << device << '\n';
    return false;
  }
  model.SelectAccount(accountIndex);
  const int itemIndex = model.items().FindStringExact(item);
  if (itemIndex == ComboModel::kNone) {
    std::cerr << "horalog: no item named " << item << " in " << account << '\n';
    return false;
  }
  model.SelectItem(itemIndex);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Horalog without windows"};
  app.require_subcommand(1);

  bool updateOnly = false;
  CLI::App* sync = app.add_subcommand(
      "sync", "Synchronize the docked handheld; prints status texts and messages as they happen");
  sync->add_flag("--update-only", updateOnly,
                 "only remove invoiced records from the handheld, as after an invoice");

  CLI::App* devices = app.add_subcommand("devices", "List the handhelds that have a store");

  std::string device, account, item = "All", range = "All";
  bool all = false;
  CLI::App* ranges = app.add_subcommand("ranges", "List the date ranges of an account and item");
  CLI::App* records = app.add_subcommand("records", "List the records of an account and item");
  for (CLI::App* sub : {ranges, records}) {
    sub->add_option("DEVICE", device, "the handheld")->required();
    sub->add_option("ACCOUNT", account, "the account")->required();
    sub->add_option("ITEM", item, "the item, or All (the default)");
  }
  records->add_option("--range", range, "a date range's label, or All (the default)");
  records->add_flag("--all", all, "include invoiced records");

  CLI11_PARSE(app, argc, argv);

  ConsoleSyncView console;
  SetUi(&console);
  if (sync->parsed()) {
    EmulatedHandheld handheld;
    SyncProcedure procedure(handheld, console, updateOnly);
    return SyncExitCode(procedure.Run());
  }
  ReportingModel model;
  if (devices->parsed()) {
    model.LoadDefaults();
    ComboModel sorted(true);
    for (const std::string& name : ReportingModel::DeviceNames(model.dataPath())) sorted.Add(name);
    for (const std::string& name : sorted.Texts()) std::cout << name << '\n';
    return 0;
  }
  if (!Select(model, device, account, item)) return 1;
  if (ranges->parsed()) {
    for (const std::string& entry : model.dateRanges().Texts()) std::cout << entry << '\n';
    return 0;
  }
  if (all) model.SetShowAll(true);
  if (range != "All") {
    const auto& entries = model.dateRanges().Texts();
    auto found = std::find(entries.begin(), entries.end(), range);
    if (found == entries.end()) {
      std::cerr << "horalog: no date range " << range << '\n';
      return 1;
    }
    model.SelectDateRange(static_cast<int>(found - entries.begin()));
  }
  std::cout << "Inc\tItem\tDate\tTime\tRate\tExtension\tInv Date\n";
  for (const RecordRow& row : model.rows()) {
    std::cout << row.inc << '\t' << row.item << '\t' << row.date << '\t' << row.time << '\t'
              << row.rate << '\t' << row.extension << '\t' << row.invDate << '\n';
  }
  std::cout << "Rate\t" << model.rateText() << '\n'
            << "Total Time\t" << model.totalTimeText() << '\n'
            << "Invoice Total\t" << model.invoiceTotalText() << '\n';
  return 0;
}
