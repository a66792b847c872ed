// Kestrune's About box.
#include "app/ui/about_dialog.h"

#include <QLabel>
#include <QPushButton>

#include "app/ui/app_icon.h"
#include "platform/ui/dialog_units.h"

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
  setObjectName("100");
  setWindowTitle("About Horalog");
  setFixedSize(Dx(235), Dy(87));

  auto* icon = new QLabel(this);
  icon->setObjectName("128");
  icon->setPixmap(HoralogIcon().pixmap(32, 32));
  icon->setGeometry(Dx(11), Dy(17), 32, 32);

  auto* product = new QLabel("Horalog", this);
  product->setGeometry(Dx(40), Dy(15), Dx(119), Dy(8) + 4);

  auto* ok = new QPushButton("OK", this);
  ok->setObjectName("1");
  ok->setDefault(true);
  ok->setGeometry(Dx(178), Dy(7), Dx(50), Dy(14));
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  auto* label = new QLabel("Version:  ", this);
  label->setGeometry(Dx(39), Dy(45), Dx(40), Dy(8) + 4);

  auto* version = new QLabel(kVersion, this);
  version->setObjectName("1070");
  version->setGeometry(Dx(81), Dy(45), Dx(28), Dy(8) + 4);
}
