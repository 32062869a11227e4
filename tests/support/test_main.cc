// Test entry point. A test that needs a second process runs this same program again with
// "--child NAME ARGS...": the registered child function NAME then runs instead of the tests.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/support/child_process.h"

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "--child") == 0) {
    return wdx::test::RunChild(argv[2], argc - 3, argv + 3);
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
