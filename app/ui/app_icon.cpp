// The programs' icon.
#include "app/ui/app_icon.h"

#include <QPainter>
#include <QPixmap>

QIcon HoralogIcon() {
  QIcon icon;
  for (int size : {16, 32, 48, 64}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal margin = size / 16.0;
    const QRectF face(margin, margin, size - 2 * margin, size - 2 * margin);
    painter.setPen(QPen(QColor(30, 60, 110), size / 16.0));
    painter.setBrush(QColor(250, 245, 225));
    painter.drawEllipse(face);
    const QPointF centre = face.center();
    painter.setPen(QPen(QColor(30, 60, 110), size / 12.0, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(centre, centre + QPointF(0, -size * 0.32));   // minutes at twelve
    painter.drawLine(centre, centre + QPointF(size * 0.22, 0));    // hours at three
    icon.addPixmap(pixmap);
  }
  return icon;
}
