// The life-sign object: its file (one line, LF only, rewritten whole), both result conventions,
// bad paths and Variants, and the library as an automation client meets it.
#include "components/lifesign/life_sign.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "platform/file_system.h"
#include "platform/registry_store.h"
#include "tests/support/temp_folder.h"
#include "tests/support/temp_registry.h"

namespace wdx {
namespace {

using test::CTempFolder;
using test::ReadWholeFile;

int64_t g_llNow = 0;
int64_t FakeSeconds() {
  return g_llNow;
}

class LifeSignTest : public testing::Test {
 protected:
  LifeSignTest() {
    m_pObject->AddRef();
    m_pObject->SetClockForTesting(&FakeSeconds);
    g_llNow = 1700000000;
  }
  ~LifeSignTest() override { m_pObject->Release(); }

  // The written result of one method by its convention: ShowLifeSign / CreateOrModify.
  int32_t Show(const char* szPath) {
    int32_t lResult = 7;
    EXPECT_EQ(m_pObject->ShowLifeSign(szPath, &lResult), S_OK);
    return lResult;
  }
  int32_t Modify(const CVariant& vPath) {
    int32_t lResult = 7;
    EXPECT_EQ(m_pObject->CreateOrModify(vPath, &lResult), S_OK);
    return lResult;
  }
  int32_t Delete(const char* szPath) {
    int32_t lResult = 7;
    EXPECT_EQ(m_pObject->Delete(szPath, &lResult), S_OK);
    return lResult;
  }
  int32_t DeleteFile(const CVariant& vPath) {
    int32_t lResult = 7;
    EXPECT_EQ(m_pObject->DeleteFile(vPath, &lResult), S_OK);
    return lResult;
  }

  CTempFolder m_oFolder;
  CLifeSign* m_pObject = new CLifeSign();
};

TEST_F(LifeSignTest, EachWriteLeavesOneLineWithTheLatestTime) {
  struct SCase {
    int64_t llNow;
    bool bShow;  // ShowLifeSign, else CreateOrModify
    const char* szExpected;
  };
  const SCase aoCases[] = {
      {1700000000, true, "1700000000\n"},
      {1700000042, false, "1700000042\n"},
      {5, true, "5\n"},  // shorter than before: the file is truncated
      {4102444800, false, "4102444800\n"},
  };
  const std::string sPath = m_oFolder.File("alive.txt");
  EXPECT_FALSE(m_pObject->IsPrepared());
  for (const SCase& oCase : aoCases) {
    g_llNow = oCase.llNow;
    if (oCase.bShow) {
      EXPECT_EQ(Show(sPath.c_str()), 1);
    } else {
      EXPECT_EQ(Modify(CVariant(sPath)), -1);
    }
    EXPECT_EQ(ReadWholeFile(sPath), oCase.szExpected);
  }
  EXPECT_TRUE(m_pObject->IsPrepared());
}

TEST_F(LifeSignTest, ASecondPathIsWrittenAndTheFirstKept) {
  ASSERT_EQ(Modify(CVariant(m_oFolder.File("first"))), -1);
  g_llNow = 1700000099;
  ASSERT_EQ(Modify(CVariant(m_oFolder.File("second"))), -1);
  EXPECT_EQ(m_oFolder.Read("first"), "1700000000\n");
  EXPECT_EQ(m_oFolder.Read("second"), "1700000099\n");
}

TEST_F(LifeSignTest, TheSystemClockGivesSecondsSince1970) {
  m_pObject->SetClockForTesting(nullptr);
  const int64_t llBefore = std::time(nullptr);
  ASSERT_EQ(Show(m_oFolder.File("now").c_str()), 1);
  const int64_t llAfter = std::time(nullptr);
  const std::string sText = m_oFolder.Read("now");
  ASSERT_FALSE(sText.empty());
  EXPECT_EQ(sText.find_first_not_of("0123456789"), sText.size() - 1) << sText;
  const int64_t llWritten = std::stoll(sText);
  EXPECT_GE(llWritten, llBefore);
  EXPECT_LE(llWritten, llAfter);
}

TEST_F(LifeSignTest, PathsThatCannotBeWrittenAnswerZeroAndLeaveNoFile) {
  ASSERT_TRUE(GetFileSystem().MakeFolders(m_oFolder.File("folder"), 0755));
  const std::string aPaths[] = {
      m_oFolder.File("no-such-folder/alive.txt"),
      "",
      m_oFolder.File("folder"),
      m_oFolder.Path() + std::string(ZUV_MAX_STR_LENGTH, 'x'),
  };
  for (const std::string& sPath : aPaths) {
    EXPECT_EQ(Show(sPath.c_str()), 0) << sPath;
    EXPECT_EQ(Modify(CVariant(sPath)), 0) << sPath;
  }
  EXPECT_EQ(Show(nullptr), 0);
  EXPECT_FALSE(GetFileSystem().FileExists(m_oFolder.File("no-such-folder")));
  EXPECT_TRUE(GetFileSystem().FolderExists(m_oFolder.File("folder")));
  // A failed write does not spoil the next good one.
  EXPECT_EQ(Show(m_oFolder.File("alive.txt").c_str()), 1);
}

TEST_F(LifeSignTest, DeletingAnswersByItsConventionAndOnlyRemovesFiles) {
  ASSERT_TRUE(GetFileSystem().MakeFolders(m_oFolder.File("folder"), 0755));
  struct SCase {
    const char* szName;
    bool bMakeFile;
    bool bByVariant;  // DeleteFile, else Delete
    int32_t lExpected;
  };
  const SCase aoCases[] = {
      {"a", true, false, 1},       {"b", true, true, -1},       {"missing", false, false, 0},
      {"missing", false, true, 0}, {"folder", false, false, 0}, {"folder", false, true, 0},
  };
  for (const SCase& oCase : aoCases) {
    const std::string sPath = m_oFolder.File(oCase.szName);
    if (oCase.bMakeFile) {
      ASSERT_EQ(Show(sPath.c_str()), 1);
    }
    const int32_t lResult = oCase.bByVariant ? DeleteFile(CVariant(sPath)) : Delete(sPath.c_str());
    EXPECT_EQ(lResult, oCase.lExpected) << oCase.szName;
    if (oCase.bMakeFile) {
      EXPECT_FALSE(GetFileSystem().FileExists(sPath)) << oCase.szName;
    }
  }
  EXPECT_TRUE(GetFileSystem().FolderExists(m_oFolder.File("folder")));
  EXPECT_EQ(Delete(""), 0);
  EXPECT_EQ(Delete(nullptr), 0);
  EXPECT_EQ(DeleteFile(CVariant()), 0);
  // Deleting needs no write before it.
  CLifeSign* pFresh = new CLifeSign();
  pFresh->AddRef();
  m_oFolder.Write("other", "x");
  int32_t lResult = 0;
  pFresh->DeleteFile(CVariant(m_oFolder.File("other")), &lResult);
  EXPECT_EQ(lResult, -1);
  EXPECT_FALSE(pFresh->IsPrepared());
  pFresh->Release();
}

// Variants that are not text are converted as text: a number names a file in the current
// folder, empty names nothing.
TEST_F(LifeSignTest, NonTextVariantsAreTakenAsTheirText) {
  const std::string sOld = GetFileSystem().GetCurrentFolder();
  ASSERT_TRUE(GetFileSystem().SetCurrentFolder(m_oFolder.Path()));
  EXPECT_EQ(Modify(CVariant(int32_t{42})), -1);
  EXPECT_EQ(Modify(CVariant(true)), -1);
  EXPECT_EQ(Modify(CVariant()), 0);
  const std::string sNumber = m_oFolder.Read("42");
  const std::string sTruth = m_oFolder.Read("-1");
  EXPECT_EQ(DeleteFile(CVariant(int32_t{42})), -1);
  EXPECT_EQ(DeleteFile(CVariant(int32_t{42})), 0);
  ASSERT_TRUE(GetFileSystem().SetCurrentFolder(sOld));
  EXPECT_EQ(sNumber, "1700000000\n");
  EXPECT_EQ(sTruth, "1700000000\n");
}

// The library as a script meets it: registered, created by ProgID for late binding, called by
// method name with Variant arguments.
TEST(LifeSignLibrary, RegistersAndAnswersByNameThroughDispatch) {
  test::CTempRegistry oRegistry;
  CTempFolder oFolder;
  const std::string sLibrary = std::string(WDX_DIST_DIR) + "/ZuvLifeSign.so";
  ASSERT_EQ(RegisterLibrary(sLibrary, false), S_OK) << GetComponentError();
  std::string sValue;
  auto pStore = OpenRegistryStore();
  ASSERT_TRUE(pStore->GetValue("HKCR\\ZuvLifeSign.LifeSign\\CLSID", "", sValue));
  EXPECT_TRUE(IsSameGuid(sValue.c_str(), CLSID_LifeSign));
  ASSERT_TRUE(pStore->GetValue(std::string("HKCR\\CLSID\\") + CLSID_LifeSign + "\\InprocServer32",
                               "ThreadingModel", sValue));
  EXPECT_EQ(sValue, "Apartment");
  {
    CInterfacePtr<IDispatch> pDispatch;
    ASSERT_EQ(CreateInstance(PROGID_LifeSign1, IID_IDispatch, pDispatch.Receive()), S_OK);
    const std::string sPath = oFolder.File("alive");
    struct SCase {
      const char* szName;
      int32_t lDispId;
      int32_t lResult;
    };
    const SCase aoCases[] = {
        {"showlifesign", 1, 1}, {"CreateOrModify", 2, -1}, {"DELETEFILE", 3, -1}, {"Delete", 4, 0}};
    for (const SCase& oCase : aoCases) {
      int32_t lDispId = 0;
      ASSERT_EQ(pDispatch->GetIDOfName(oCase.szName, lDispId), S_OK) << oCase.szName;
      EXPECT_EQ(lDispId, oCase.lDispId);
      CVariant vResult;
      ASSERT_EQ(pDispatch->Invoke(lDispId, {CVariant(sPath)}, vResult), S_OK) << oCase.szName;
      EXPECT_EQ(vResult.GetType(), VT_I4);
      EXPECT_EQ(vResult.GetInt32(), oCase.lResult) << oCase.szName;
    }
    int32_t lDispId = 0;
    EXPECT_EQ(pDispatch->GetIDOfName("Show", lDispId), DISP_E_UNKNOWNNAME);
    CVariant vResult;
    EXPECT_EQ(pDispatch->Invoke(1, {}, vResult), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(pDispatch->Invoke(5, {CVariant(sPath)}, vResult), DISP_E_MEMBERNOTFOUND);
    CInterfacePtr<ILifeSign> pLifeSign;
    ASSERT_EQ(pDispatch->QueryInterface(IID_ILifeSign, pLifeSign.Receive()), S_OK);
    int32_t lResult = 0;
    pLifeSign->ShowLifeSign(sPath.c_str(), &lResult);
    EXPECT_EQ(lResult, 1);
  }
  EXPECT_GE(FreeUnusedLibraries(), 1);
  EXPECT_EQ(RegisterLibrary(sLibrary, true), S_OK);
  EXPECT_FALSE(ClsidFromProgId(PROGID_LifeSign, sValue));
}

}  // namespace
}  // namespace wdx
