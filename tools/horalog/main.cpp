// horalog: the desktop program's work without windows, for scripts and checks.
#include <CLI/CLI.hpp>

#include "device/emulated_handheld.h"
#include "device/sync_procedure.h"
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

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Horalog without windows"};
  app.require_subcommand(1);

  bool updateOnly = false;
  CLI::App* sync = app.add_subcommand(
      "sync", "Synchronize the docked handheld; prints status texts and messages as they happen");
  sync->add_flag("--update-only", updateOnly,
                 "only remove invoiced records from the handheld, as after an invoice");

  CLI11_PARSE(app, argc, argv);

  if (sync->parsed()) {
    ConsoleSyncView view;
    SetUi(&view);
    EmulatedHandheld handheld;
    SyncProcedure procedure(handheld, view, updateOnly);
    const int code = SyncExitCode(procedure.Run());
    SetUi(nullptr);
    return code;
  }
  return 2;
}
