// Entry of the window test programs: isolate the user's folders, draw off-screen, run the
// tests inside one QApplication.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>

#include "tests/support/test_environment.h"

int main(int argc, char** argv) {
  testing_support::IsolateUserEnvironment();
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
