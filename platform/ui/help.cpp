// The help page, opened in the desktop's browser.
#include "platform/ui/help.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

#include "platform/ui/qt_ui_services.h"

std::string HelpPagePath() {
  const QByteArray fromEnv = qgetenv("HORALOG_HELP");
  QStringList candidates;
  if (!fromEnv.isEmpty()) candidates << QString::fromLocal8Bit(fromEnv);
  const QString programFolder = QCoreApplication::applicationDirPath();
  candidates << programFolder + "/../share/horalog/help/horalog.html"
             << programFolder + "/share/horalog/help/horalog.html"
             << QStringLiteral(HORALOG_SOURCE_HELP);
  for (const QString& candidate : candidates) {
    QFileInfo info(candidate);
    if (info.isFile()) return info.canonicalFilePath().toStdString();
  }
  return {};
}

std::string HelpAddress(int context) {
  const std::string page = HelpPagePath();
  if (page.empty()) return {};
  QUrl url = QUrl::fromLocalFile(QString::fromStdString(page));
  url.setFragment(QString("context-%1").arg(context));
  return url.toString().toStdString();
}

bool ShowHelp(int context) {
  const std::string address = HelpAddress(context);
  if (address.empty() || !QDesktopServices::openUrl(QUrl(QString::fromStdString(address)))) {
    ShowMessageBox(nullptr, "The help page could not be opened.", "Horalog", MessageButtons::Ok);
    return false;
  }
  return true;
}
