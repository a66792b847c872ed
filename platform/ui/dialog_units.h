// Places controls as the dialog templates give them, in dialog units of the
// 8-point dialog font.
#pragma once

#include <QWidget>

// A dialog unit in pixels, across and down.
inline int Dx(int units) { return units * 3 / 2; }
inline int Dy(int units) { return units * 13 / 8; }

// Names widget after its control id (none for nullptr) and puts it at x, y
// with the given size, all in dialog units.
template <typename T>
T* Place(T* widget, const char* id, int x, int y, int width, int height) {
  if (id != nullptr) widget->setObjectName(id);
  widget->setGeometry(Dx(x), Dy(y), Dx(width), Dy(height));
  return widget;
}
