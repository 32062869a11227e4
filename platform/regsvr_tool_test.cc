// The wdxregsvr tool: its command line, the real program's exit codes and output, and relative
// library names.
#include "platform/regsvr_tool.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "platform/component.h"
#include "platform/registry_store.h"
#include "tests/support/service_fixture.h"
#include "tests/support/test_component.h"

namespace wdx {
namespace {

constexpr const char* kLibm = "/lib/x86_64-linux-gnu/libm.so.6";

std::string TestComponentPath() {
  char aPath[PATH_MAX];
  return realpath(WDX_TEST_COMPONENT, aPath) ? aPath : WDX_TEST_COMPONENT;
}

std::string ClassKey() {
  return std::string("HKCR\\CLSID\\") + test::CLSID_CounterTest;
}

// A temporary registry store per test, shared with the programs it runs.
class RegsvrToolTest : public testing::Test {
 protected:
  test::SRunResult Tool(const std::vector<std::string>& oArgs) {
    return m_oFixture.Run(std::string(WDX_DIST_DIR) + "/wdxregsvr", oArgs);
  }
  std::string Value(const std::string& sKey, const std::string& sName = "") {
    std::string sValue = "<none>";
    OpenRegistryStore()->GetValue(sKey, sName, sValue);
    return sValue;
  }
  bool KeyExists(const std::string& sKey) { return OpenRegistryStore()->KeyExists(sKey); }

  test::CServiceFixture m_oFixture;
};

TEST(RegsvrArgumentsTest, ReadsSwitchesAndOneLibrary) {
  SRegsvrOptions oOptions;
  ASSERT_TRUE(ParseRegsvrArguments({"/S", "-u", "lib.so"}, oOptions));
  EXPECT_TRUE(oOptions.m_bSilent);
  EXPECT_TRUE(oOptions.m_bUnregister);
  EXPECT_EQ("lib.so", oOptions.m_sLibrary);
  EXPECT_FALSE(ParseRegsvrArguments({}, oOptions));
  EXPECT_FALSE(ParseRegsvrArguments({"/s"}, oOptions));
  EXPECT_FALSE(ParseRegsvrArguments({"/x", "lib.so"}, oOptions));
  EXPECT_FALSE(ParseRegsvrArguments({"a.so", "b.so"}, oOptions));
  ASSERT_TRUE(ParseRegsvrArguments({"/opt/lib.so", "/u"}, oOptions));
  EXPECT_EQ("/opt/lib.so", oOptions.m_sLibrary);
}

TEST_F(RegsvrToolTest, SilentRegisterAndUnregister) {
  test::SRunResult oRun = Tool({"/s", TestComponentPath()});
  EXPECT_EQ(0, oRun.m_iExitCode);
  EXPECT_EQ("", oRun.m_sOut + oRun.m_sErr);
  EXPECT_EQ(TestComponentPath(), Value(ClassKey() + "\\InprocServer32"));
  oRun = Tool({"/u", "/s", TestComponentPath()});
  EXPECT_EQ(0, oRun.m_iExitCode);
  EXPECT_FALSE(KeyExists(ClassKey()));
}

TEST_F(RegsvrToolTest, ReportsOutcomeAndExitCodes) {
  test::SRunResult oRun = Tool({TestComponentPath()});
  EXPECT_EQ(0, oRun.m_iExitCode);
  EXPECT_NE(std::string::npos, oRun.m_sOut.find("succeeded")) << oRun.m_sOut;
  oRun = Tool({m_oFixture.Folder().File("absent.so")});
  EXPECT_EQ(WDX_REGSVR_LOAD_FAILED, oRun.m_iExitCode);
  EXPECT_NE(std::string::npos, oRun.m_sErr.find("absent.so")) << oRun.m_sErr;
  oRun = Tool({"/s", kLibm});
  EXPECT_EQ(WDX_REGSVR_NO_ENTRY_POINT, oRun.m_iExitCode);
  EXPECT_EQ("", oRun.m_sErr);
  oRun = Tool({});
  EXPECT_EQ(WDX_REGSVR_BAD_ARGUMENTS, oRun.m_iExitCode);
  EXPECT_NE(std::string::npos, oRun.m_sErr.find("Usage"));
}

TEST_F(RegsvrToolTest, RelativeNameIsResolvedAgainstTheCurrentFolder) {
  const std::filesystem::path oLibrary(TestComponentPath());
  const std::filesystem::path oBefore = std::filesystem::current_path();
  std::filesystem::current_path(oLibrary.parent_path());
  std::ostringstream oOut;
  std::ostringstream oErr;
  const int iCode = RunRegsvrTool({oLibrary.filename().string()}, oOut, oErr);
  std::filesystem::current_path(oBefore);
  EXPECT_EQ(0, iCode) << oErr.str();
  EXPECT_EQ(TestComponentPath(), Value(ClassKey() + "\\InprocServer32"));
}

}  // namespace
}  // namespace wdx
