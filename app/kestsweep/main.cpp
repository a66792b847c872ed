// Kestsweep: lists the handhelds' stores and deletes a handheld's or an
// account's data.
#include <QApplication>

#include "app/ui/program_shell.h"
#include "maint/ui/maintenance_dialog.h"

int main(int argc, char** argv) {
  const ProgramInfo info{"kestsweep", "Kestsweep", "Horalog store maintenance"};
  return RunProgram(argc, argv, info, [](QApplication&) {
    MaintenanceDialog window;
    window.exec();
    return 0;
  });
}
