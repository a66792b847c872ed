// Kestrune: synchronizes the docked handheld and shows its recorded time.
#include <QApplication>

#include "app/ui/program_shell.h"
#include "app/ui/reporting_dialog.h"
#include "emulator/docked_handheld.h"

int main(int argc, char** argv) {
  const ProgramInfo info{"kestrune", "Kestrune",
                         "Horalog time reporting: records, reports and invoices"};
  return RunProgram(argc, argv, info, [](QApplication&) {
    std::unique_ptr<CePlatform> handheld = OpenHandheld();
    ReportingDialog window(*handheld);
    window.exec();
    return 0;
  });
}
