// Test entry point. A test that needs a second process runs this same program again with
// "--child NAME ARGS...": the registered child function NAME then runs instead of the tests.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/support/child_process.h"

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "--child") == 0) {
    return wdx::test::RunChild(argv[2], argc - 3, argv + 3);
  }
  // No test may restart this machine: unless a test sets its own, the reboot command names a
  // program that does not exist, which leaves the reboot privilege unheld.
  setenv("WDX_REBOOT_COMMAND", "/nonexistent/wardenix-tests-never-reboot", 0);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
