// Window tests need an application object; they run on the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>

#include "formlook.h"

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  UseStandInFonts();  // the forms draw in the fonts the program gives them
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
