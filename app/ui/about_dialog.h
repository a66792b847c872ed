// Kestrune's About box.
#pragma once

#include <QDialog>

#include "platform/version.h"

class AboutDialog : public QDialog {
  Q_OBJECT

 public:
  static constexpr const char* kVersion = kHoralogVersion;
  explicit AboutDialog(QWidget* parent = nullptr);
};
