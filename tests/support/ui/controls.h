// Finds a window's control by its id, failing the test when it is missing.
#pragma once

#include <gtest/gtest.h>

#include <QWidget>

template <typename T>
T* Control(QWidget& window, const char* id) {
  T* control = window.findChild<T*>(id);
  EXPECT_NE(control, nullptr) << id;
  return control;
}
