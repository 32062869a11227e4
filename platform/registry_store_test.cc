// The registry store: values round trip through the file, keys match without case, subkeys
// go with their key, a damaged file is never overwritten, and writers in two processes lose
// nothing.
#include "platform/registry_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/fake_file_system.h"
#include "tests/support/child_process.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_folder.h"

namespace wdx {
namespace {

using test::CChildProcess;
using test::CTempFolder;

// Sets argv[2] values "<argv[1]>-<i>" = "<i>" in key "HKLM\Test" of the store at argv[0].
WDX_TEST_CHILD(registry_writer) {
  if (argc < 3) return 2;
  auto pStore = OpenRegistryStoreAt(argv[0]);
  for (int i = 0; i < std::atoi(argv[2]); ++i) {
    std::string sName = std::string(argv[1]) + "-" + std::to_string(i);
    if (!pStore->SetValue("HKLM\\Test", sName, std::to_string(i))) return 3;
  }
  return 0;
}

class RegistryStoreTest : public testing::Test {
 protected:
  void SetUp() override {
    const char* szOld = std::getenv("WDX_LOCK_DIR");
    m_bHadOld = szOld != nullptr;
    if (m_bHadOld) m_sOld = szOld;
    setenv("WDX_LOCK_DIR", m_oLocks.Path().c_str(), 1);
    m_sPath = m_oFolder.Path() + "state/registry";
    m_pStore = OpenRegistryStoreAt(m_sPath);
  }
  void TearDown() override {
    if (m_bHadOld) {
      setenv("WDX_LOCK_DIR", m_sOld.c_str(), 1);
    } else {
      unsetenv("WDX_LOCK_DIR");
    }
  }
  std::string Get(const std::string& sKey, const std::string& sName) {
    std::string sValue = "<none>";
    m_pStore->GetValue(sKey, sName, sValue);
    return sValue;
  }
  std::vector<std::string> SubKeys(const std::string& sKey) {
    std::vector<std::string> oNames;
    m_pStore->ListSubKeys(sKey, oNames);
    std::sort(oNames.begin(), oNames.end());
    return oNames;
  }

  CTempFolder m_oLocks;
  CTempFolder m_oFolder;
  std::string m_sPath;
  std::unique_ptr<IRegistryStore> m_pStore;
  bool m_bHadOld = false;
  std::string m_sOld;
};

// --- Values and keys ---------------------------------------------------------------------

TEST_F(RegistryStoreTest, ValuesRoundTripThroughTheFile) {
  ASSERT_TRUE(m_pStore->SetValue("HKLM\\Software\\Wardenix", "AutoRun", "1"));
  ASSERT_TRUE(m_pStore->SetValue("HKLM\\Software\\Wardenix", "", "default"));
  ASSERT_TRUE(m_pStore->SetValue("HKLM\\Software\\Wardenix", "Text", "a \"quoted\"\n\\ line"));
  auto pOther = OpenRegistryStoreAt(m_sPath);  // a second reader sees the file, not a cache
  std::string sValue;
  ASSERT_TRUE(pOther->GetValue("HKLM\\Software\\Wardenix", "AutoRun", sValue));
  EXPECT_EQ(sValue, "1");
  ASSERT_TRUE(pOther->GetValue("HKLM\\Software\\Wardenix", "", sValue));
  EXPECT_EQ(sValue, "default");
  ASSERT_TRUE(pOther->GetValue("HKLM\\Software\\Wardenix", "Text", sValue));
  EXPECT_EQ(sValue, "a \"quoted\"\n\\ line");
  ASSERT_TRUE(m_pStore->SetValue("HKLM\\Software\\Wardenix", "AutoRun", "0"));
  EXPECT_EQ(Get("HKLM\\Software\\Wardenix", "AutoRun"), "0");
}

TEST_F(RegistryStoreTest, MissingStoreIsEmptyAndMissingValuesReportNotFound) {
  std::string sValue = "unchanged";
  EXPECT_FALSE(m_pStore->GetValue("HKLM\\None", "x", sValue));
  EXPECT_EQ(m_pStore->GetLastErrorCode(), ENOENT);
  EXPECT_EQ(sValue, "unchanged");
  EXPECT_FALSE(m_pStore->KeyExists("HKLM\\None"));
  ASSERT_TRUE(m_pStore->CreateKey("HKLM\\Empty"));
  EXPECT_TRUE(m_pStore->KeyExists("HKLM\\Empty"));
  EXPECT_FALSE(m_pStore->GetValue("HKLM\\Empty", "x", sValue));
  EXPECT_EQ(m_pStore->GetLastErrorCode(), ENOENT);
}

TEST_F(RegistryStoreTest, KeysAndValueNamesMatchWithoutCaseAndKeepFirstSpelling) {
  ASSERT_TRUE(m_pStore->SetValue("HKCR\\AppID\\WDXSVC", "LocalService", "WDXSVC"));
  EXPECT_EQ(Get("hkcr\\appid\\wdxsvc", "localservice"), "WDXSVC");
  ASSERT_TRUE(m_pStore->SetValue("HKCR\\APPID\\wdxsvc", "LOCALSERVICE", "changed"));
  EXPECT_EQ(Get("HKCR\\AppID\\WDXSVC", "LocalService"), "changed");
  EXPECT_EQ(SubKeys("HKCR\\AppID"), std::vector<std::string>{"WDXSVC"});
  std::string sFile = m_oFolder.Read("state/registry");
  EXPECT_NE(sFile.find("HKCR\\\\AppID\\\\WDXSVC"), std::string::npos);
  EXPECT_EQ(sFile.find("wdxsvc\""), std::string::npos);
  EXPECT_TRUE(m_pStore->KeyExists("HKCR\\appid\\WDXSVC\\"));
}

TEST_F(RegistryStoreTest, DeleteKeyRemovesItsSubkeysOnly) {
  ASSERT_TRUE(m_pStore->SetValue("HKCR\\CLSID\\{A}", "", "A"));
  ASSERT_TRUE(m_pStore->SetValue("HKCR\\CLSID\\{A}\\InprocServer32", "", "/x/A.so"));
  ASSERT_TRUE(m_pStore->CreateKey("hkcr\\clsid\\{a}\\ProgID"));
  ASSERT_TRUE(m_pStore->SetValue("HKCR\\CLSID\\{A}B", "", "neighbour"));
  ASSERT_TRUE(m_pStore->DeleteKey("HKCR\\clsid\\{A}"));
  EXPECT_FALSE(m_pStore->KeyExists("HKCR\\CLSID\\{A}"));
  EXPECT_FALSE(m_pStore->KeyExists("HKCR\\CLSID\\{A}\\InprocServer32"));
  EXPECT_FALSE(m_pStore->KeyExists("HKCR\\CLSID\\{A}\\ProgID"));
  EXPECT_EQ(Get("HKCR\\CLSID\\{A}B", ""), "neighbour");
  EXPECT_TRUE(m_pStore->DeleteKey("HKCR\\CLSID\\{A}"));  // already gone
}

TEST_F(RegistryStoreTest, ListSubKeysGivesDirectChildrenOnce) {
  ASSERT_TRUE(m_pStore->CreateKey("HKCR\\CLSID\\{A}"));
  ASSERT_TRUE(m_pStore->CreateKey("HKCR\\CLSID\\{A}\\InprocServer32"));
  ASSERT_TRUE(m_pStore->CreateKey("HKCR\\CLSID\\{B}\\LocalServer32"));  // {B} only implied
  ASSERT_TRUE(m_pStore->CreateKey("HKCR\\CLSIDX"));
  EXPECT_EQ(SubKeys("HKCR\\CLSID"), (std::vector<std::string>{"{A}", "{B}"}));
  EXPECT_EQ(SubKeys("HKCR"), (std::vector<std::string>{"CLSID", "CLSIDX"}));
  EXPECT_TRUE(m_pStore->KeyExists("HKCR\\CLSID\\{B}"));
  std::vector<std::string> oNames = {"stale"};
  EXPECT_TRUE(m_pStore->ListSubKeys("HKCR\\CLSID\\{A}\\InprocServer32", oNames));
  EXPECT_TRUE(oNames.empty());
  EXPECT_FALSE(m_pStore->ListSubKeys("HKCR\\Nothing", oNames));
  EXPECT_EQ(m_pStore->GetLastErrorCode(), ENOENT);
}

TEST_F(RegistryStoreTest, DeleteValueLeavesTheKey) {
  ASSERT_TRUE(m_pStore->SetValue("HKLM\\K", "a", "1"));
  ASSERT_TRUE(m_pStore->SetValue("HKLM\\K", "b", "2"));
  ASSERT_TRUE(m_pStore->DeleteValue("hklm\\k", "A"));
  EXPECT_EQ(Get("HKLM\\K", "a"), "<none>");
  EXPECT_EQ(Get("HKLM\\K", "b"), "2");
  EXPECT_TRUE(m_pStore->DeleteValue("HKLM\\K", "never"));
  EXPECT_TRUE(m_pStore->DeleteValue("HKLM\\NoKey", "never"));
  EXPECT_TRUE(m_pStore->KeyExists("HKLM\\K"));
}

TEST_F(RegistryStoreTest, EmptyKeyIsRefused) {
  EXPECT_FALSE(m_pStore->SetValue("", "a", "1"));
  EXPECT_EQ(m_pStore->GetLastErrorCode(), EINVAL);
  EXPECT_FALSE(m_pStore->DeleteKey("\\"));
  EXPECT_EQ(m_pStore->GetLastErrorCode(), EINVAL);
}

// --- The file ----------------------------------------------------------------------------

TEST_F(RegistryStoreTest, FileHasMode0600InFolderOf0700) {
  ASSERT_TRUE(m_pStore->SetValue("HKLM\\K", "a", "1"));
  struct stat oInfo;
  ASSERT_EQ(stat(m_sPath.c_str(), &oInfo), 0);
  EXPECT_EQ(oInfo.st_mode & 0777, 0600u);
  ASSERT_EQ(stat((m_oFolder.Path() + "state").c_str(), &oInfo), 0);
  EXPECT_EQ(oInfo.st_mode & 0777, 0700u);
}

TEST_F(RegistryStoreTest, DamagedFileIsReportedAndNeverReplaced) {
  const std::vector<std::string> oDamaged = {
      "{\"version\":1,\"keys\":{\"HKLM\\\\K\":{\"a\":\"1\"}",  // cut short
      "{\"version\":2,\"keys\":{}}",                           // unknown format
      "{\"version\":1,\"keys\":{\"HKLM\\\\K\":{\"a\":1}}}",    // value not a text
      std::string("\x00\xff garbage \x01", 12) + std::string(100000, 'x'), ""};
  ASSERT_TRUE(m_pStore->SetValue("HKLM\\K", "a", "1"));
  for (const auto& sDamaged : oDamaged) {
    test::CLogCapture oLog;
    m_oFolder.Write("state/registry", sDamaged);
    std::string sValue;
    EXPECT_FALSE(m_pStore->GetValue("HKLM\\K", "a", sValue));
    EXPECT_EQ(m_pStore->GetLastErrorCode(), EBADMSG);
    EXPECT_FALSE(m_pStore->SetValue("HKLM\\K", "a", "2"));
    EXPECT_EQ(m_pStore->GetLastErrorCode(), EBADMSG);
    EXPECT_FALSE(m_pStore->DeleteKey("HKLM\\K"));
    EXPECT_EQ(m_oFolder.Read("state/registry"), sDamaged);
    EXPECT_NE(oLog.Text().find("CRegistryStore::SetValue() failed for " + m_sPath),
              std::string::npos);
  }
}

TEST_F(RegistryStoreTest, FailedWriteKeepsTheStoredValues) {
  ASSERT_TRUE(m_pStore->SetValue("HKLM\\K", "a", "1"));
  std::string sBefore = m_oFolder.Read("state/registry");
  CFakeFileSystem oFake;
  oFake.SetFailure(EFileOp::REPLACE, ENOSPC);
  SetFileSystemForTesting(&oFake);
  bool bSet = m_pStore->SetValue("HKLM\\K", "a", "2");
  int iError = m_pStore->GetLastErrorCode();
  SetFileSystemForTesting(nullptr);
  EXPECT_FALSE(bSet);
  EXPECT_EQ(iError, ENOSPC);
  EXPECT_EQ(m_oFolder.Read("state/registry"), sBefore);
  EXPECT_EQ(Get("HKLM\\K", "a"), "1");
}

TEST_F(RegistryStoreTest, TextThatIsNotUtf8IsRefused) {
  EXPECT_FALSE(m_pStore->SetValue("HKLM\\K", "a", std::string("\xff\xfe", 2)));
  EXPECT_EQ(m_pStore->GetLastErrorCode(), EINVAL);
  EXPECT_FALSE(m_pStore->KeyExists("HKLM\\K"));
}

TEST_F(RegistryStoreTest, PathFromEnvironment) {
  const char* szOld = std::getenv("WDX_REGISTRY");
  std::string sOld = szOld != nullptr ? szOld : "";
  unsetenv("WDX_REGISTRY");
  EXPECT_EQ(GetRegistryStorePath(), "/var/lib/wardenix/registry");
  setenv("WDX_REGISTRY", m_sPath.c_str(), 1);
  EXPECT_EQ(GetRegistryStorePath(), m_sPath);
  ASSERT_TRUE(OpenRegistryStore()->SetValue("HKLM\\E", "v", "env"));
  EXPECT_EQ(Get("HKLM\\E", "v"), "env");
  if (szOld != nullptr) {
    setenv("WDX_REGISTRY", sOld.c_str(), 1);
  } else {
    unsetenv("WDX_REGISTRY");
  }
}

// --- Several writers ---------------------------------------------------------------------

TEST_F(RegistryStoreTest, WritersInTwoProcessesLoseNoValue) {
  constexpr int kEach = 40;
  CChildProcess oFirst("registry_writer", {m_sPath, "first", std::to_string(kEach)});
  CChildProcess oSecond("registry_writer", {m_sPath, "second", std::to_string(kEach)});
  EXPECT_EQ(oFirst.Wait(60000), 0);
  EXPECT_EQ(oSecond.Wait(60000), 0);
  for (int i = 0; i < kEach; ++i) {
    EXPECT_EQ(Get("HKLM\\Test", "first-" + std::to_string(i)), std::to_string(i));
    EXPECT_EQ(Get("HKLM\\Test", "second-" + std::to_string(i)), std::to_string(i));
  }
}

}  // namespace
}  // namespace wdx
