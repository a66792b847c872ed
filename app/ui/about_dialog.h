// Kestrune's About box.
#pragma once

#include <QDialog>

class AboutDialog : public QDialog {
  Q_OBJECT

 public:
  static constexpr const char* kVersion = "1.3h";
  explicit AboutDialog(QWidget* parent = nullptr);
};
