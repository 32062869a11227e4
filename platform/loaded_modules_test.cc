#include "platform/loaded_modules.h"

#include <gtest/gtest.h>

#include "platform/file_system.h"

namespace wdx {
namespace {

TEST(LoadedModules, FindsTheProgramAndItsLibrariesByExactFileName) {
  const std::string sProgram = GetFileSystem().GetExecutablePath();
  EXPECT_EQ(FindLoadedModule(FileNameOf(sProgram)), sProgram);
  const std::string sLibc = FindLoadedModule("libc.so.6");
  EXPECT_EQ(FileNameOf(sLibc), "libc.so.6");
  EXPECT_TRUE(GetFileSystem().FileExists(sLibc)) << sLibc;
  for (const char* szName : {"", "libc.so", "LIBC.SO.6", "NoSuchModule.so"}) {
    EXPECT_EQ(FindLoadedModule(szName), "") << szName;
  }
}

}  // namespace
}  // namespace wdx
