// Entry of the core test programs: isolate the user's folders, then run the tests.
#include <gtest/gtest.h>

#include "tests/support/test_environment.h"

int main(int argc, char** argv) {
  testing_support::IsolateUserEnvironment();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
