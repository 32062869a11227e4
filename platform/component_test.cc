// The component layer against the real test component library: registration keys, creation by
// class identifier and ProgID, interface lookup, unloading, broken libraries and registry entries,
// the module helpers and the Variant.
#include "platform/component.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/registry_store.h"
#include "tests/support/service_fixture.h"
#include "tests/support/test_component.h"

namespace wdx {
namespace {

using test::CLSID_CounterTest;
using test::ICounterTest;
using test::ILabelTest;
using test::PROGID_CounterTest;
using test::PROGID_CounterTestIndependent;

constexpr const char* kLibm = "/lib/x86_64-linux-gnu/libm.so.6";
constexpr const char* kUnknownIid = "{01234567-89AB-CDEF-0123-456789ABCDEF}";

std::string TestComponentPath() {
  char aPath[PATH_MAX];
  return realpath(WDX_TEST_COMPONENT, aPath) ? aPath : WDX_TEST_COMPONENT;
}

// A temporary registry store per test; libraries loaded by a test are unloaded after it.
class ComponentTest : public testing::Test {
 protected:
  void TearDown() override { FreeUnusedLibraries(); }

  std::string Value(const std::string& sKey, const std::string& sName = "") {
    std::string sValue = "<none>";
    OpenRegistryStore()->GetValue(sKey, sName, sValue);
    return sValue;
  }
  bool KeyExists(const std::string& sKey) { return OpenRegistryStore()->KeyExists(sKey); }
  void Register() { ASSERT_EQ(S_OK, RegisterLibrary(TestComponentPath(), false)); }
  // Points a class at a library file without registering through the library.
  void WriteServer(const std::string& sClsid, const std::string& sPath) {
    ASSERT_TRUE(
        OpenRegistryStore()->SetValue("HKCR\\CLSID\\" + sClsid + "\\InprocServer32", "", sPath));
  }

  test::CServiceFixture m_oFixture;
};

std::string ClassKey() {
  return std::string("HKCR\\CLSID\\") + CLSID_CounterTest;
}

// --- Registration -------------------------------------------------------------------------

TEST_F(ComponentTest, RegistrationWritesClassAndProgIdKeys) {
  Register();
  EXPECT_EQ("CounterTest Class", Value(ClassKey()));
  EXPECT_EQ(TestComponentPath(), Value(ClassKey() + "\\InprocServer32"));
  EXPECT_EQ("Free", Value(ClassKey() + "\\InprocServer32", "ThreadingModel"));
  EXPECT_EQ(PROGID_CounterTest, Value(ClassKey() + "\\ProgID"));
  EXPECT_EQ(PROGID_CounterTestIndependent, Value(ClassKey() + "\\VersionIndependentProgID"));
  EXPECT_EQ(test::TYPELIB_CounterTest, Value(ClassKey() + "\\TypeLib"));
  const std::string sVersioned = std::string("HKCR\\") + PROGID_CounterTest;
  EXPECT_EQ("CounterTest Class", Value(sVersioned));
  EXPECT_EQ(CLSID_CounterTest, Value(sVersioned + "\\CLSID"));
  const std::string sIndependent = std::string("HKCR\\") + PROGID_CounterTestIndependent;
  EXPECT_EQ("CounterTest Class", Value(sIndependent));
  EXPECT_EQ(CLSID_CounterTest, Value(sIndependent + "\\CLSID"));
  EXPECT_EQ(PROGID_CounterTest, Value(sIndependent + "\\CurVer"));
  // Registration does not keep the library loaded.
  EXPECT_TRUE(GetLoadedLibraries().empty());
}

TEST_F(ComponentTest, RegistrationReplacesStaleSubkeys) {
  ASSERT_TRUE(OpenRegistryStore()->SetValue(ClassKey() + "\\LocalServer32", "", "/old/server"));
  Register();
  EXPECT_FALSE(KeyExists(ClassKey() + "\\LocalServer32"));
}

TEST_F(ComponentTest, UnregistrationRemovesKeysAndCreationFails) {
  Register();
  ASSERT_EQ(S_OK, RegisterLibrary(TestComponentPath(), true));
  EXPECT_FALSE(KeyExists(ClassKey()));
  EXPECT_FALSE(KeyExists(std::string("HKCR\\") + PROGID_CounterTest));
  EXPECT_FALSE(KeyExists(std::string("HKCR\\") + PROGID_CounterTestIndependent));
  CInterfacePtr<ICounterTest> pCounter;
  EXPECT_EQ(REGDB_E_CLASSNOTREG,
            CreateInstance(CLSID_CounterTest, ICounterTest::kIid, pCounter.Receive()));
  EXPECT_EQ(REGDB_E_CLASSNOTREG,
            CreateInstance(PROGID_CounterTest, ICounterTest::kIid, pCounter.Receive()));
  EXPECT_FALSE(pCounter);
}

TEST_F(ComponentTest, UnregistrationKeepsProgIdTakenOverByAnotherClass) {
  Register();
  const std::string sOther = "{11111111-2222-3333-4444-555555555555}";
  const std::string sKey = std::string("HKCR\\") + PROGID_CounterTestIndependent + "\\CLSID";
  ASSERT_TRUE(OpenRegistryStore()->SetValue(sKey, "", sOther));
  ASSERT_EQ(S_OK, RegisterLibrary(TestComponentPath(), true));
  EXPECT_EQ(sOther, Value(sKey));
}

TEST_F(ComponentTest, MalformedRegistrationIsRefusedWithoutWriting) {
  SClassRegistration oClass{"{not-a-guid}", "Bad Class", "Bad.Class.1", "Bad.Class", "Free", ""};
  EXPECT_EQ(SELFREG_E_CLASS, RegisterComponentClass(oClass, "/x.so"));
  oClass.m_sClsid = "{11111111-2222-3333-4444-555555555555}";
  oClass.m_sProgId = "Bad\\Class";
  EXPECT_EQ(SELFREG_E_CLASS, RegisterComponentClass(oClass, "/x.so"));
  EXPECT_FALSE(KeyExists("HKCR\\CLSID\\" + oClass.m_sClsid));
  EXPECT_FALSE(GetComponentError().empty());
}

TEST_F(ComponentTest, ProgIdsResolveToTheClass) {
  Register();
  std::string sClsid;
  ASSERT_TRUE(ClsidFromProgId(PROGID_CounterTest, sClsid));
  EXPECT_EQ(CLSID_CounterTest, sClsid);
  ASSERT_TRUE(ClsidFromProgId("wdxtest.counter", sClsid));
  EXPECT_EQ(CLSID_CounterTest, sClsid);
  ASSERT_TRUE(ClsidFromProgId("{AAAAAAAA-2222-3333-4444-555555555555}", sClsid));
  EXPECT_EQ("{AAAAAAAA-2222-3333-4444-555555555555}", sClsid);
  EXPECT_FALSE(ClsidFromProgId("No.Such.Thing", sClsid));
  EXPECT_FALSE(ClsidFromProgId("", sClsid));
  // A version-independent ProgID with only its current version still resolves.
  ASSERT_TRUE(OpenRegistryStore()->SetValue("HKCR\\Only.CurVer\\CurVer", "", PROGID_CounterTest));
  ASSERT_TRUE(ClsidFromProgId("Only.CurVer", sClsid));
  EXPECT_EQ(CLSID_CounterTest, sClsid);
}

// --- Creation and interfaces --------------------------------------------------------------

TEST_F(ComponentTest, CreatesByClassIdentifierAndBothProgIds) {
  Register();
  for (const char* szName :
       {CLSID_CounterTest, PROGID_CounterTest, PROGID_CounterTestIndependent}) {
    CInterfacePtr<ICounterTest> pCounter;
    ASSERT_EQ(S_OK, CreateInstance(szName, ICounterTest::kIid, pCounter.Receive())) << szName;
    ASSERT_TRUE(pCounter);
    int32_t lValue = -1;
    EXPECT_EQ(S_OK, pCounter->Add(5));
    EXPECT_EQ(S_OK, pCounter->Add(-2));
    EXPECT_EQ(S_OK, pCounter->Get(&lValue));
    EXPECT_EQ(3, lValue);  // each object counts on its own
  }
  EXPECT_EQ(std::vector<std::string>{TestComponentPath()}, GetLoadedLibraries());
}

TEST_F(ComponentTest, QueryInterfaceFindsEveryInterfaceOfOneObject) {
  Register();
  CInterfacePtr<ICounterTest> pCounter;
  ASSERT_EQ(S_OK, CreateInstance(CLSID_CounterTest, ICounterTest::kIid, pCounter.Receive()));
  CInterfacePtr<ILabelTest> pLabel;
  ASSERT_EQ(S_OK, pCounter->QueryInterface(ILabelTest::kIid, pLabel.Receive()));
  ASSERT_EQ(S_OK, pLabel->SetLabel("north"));
  CVariant oLabel;
  ASSERT_EQ(S_OK, pLabel->GetLabel(&oLabel));
  EXPECT_EQ(VT_BSTR, oLabel.GetType());
  EXPECT_EQ("north", oLabel.GetString());
  // Identity: IUnknown from either interface is the same pointer.
  CInterfacePtr<IUnknown> pUnknown1;
  CInterfacePtr<IUnknown> pUnknown2;
  ASSERT_EQ(S_OK, pCounter->QueryInterface(IID_IUnknown, pUnknown1.Receive()));
  ASSERT_EQ(S_OK, pLabel->QueryInterface(IID_IUnknown, pUnknown2.Receive()));
  EXPECT_EQ(pUnknown1.Get(), pUnknown2.Get());
  // Identifiers compare without letter case.
  std::string sLower = ICounterTest::kIid;
  for (char& c : sLower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  CInterfacePtr<ICounterTest> pAgain;
  ASSERT_EQ(S_OK, pLabel->QueryInterface(sLower.c_str(), pAgain.Receive()));
  EXPECT_EQ(pCounter.Get(), pAgain.Get());
}

TEST_F(ComponentTest, UnknownInterfaceIsRefused) {
  Register();
  CInterfacePtr<ICounterTest> pCounter;
  ASSERT_EQ(S_OK, CreateInstance(CLSID_CounterTest, ICounterTest::kIid, pCounter.Receive()));
  void* pOut = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(E_NOINTERFACE, pCounter->QueryInterface(kUnknownIid, &pOut));
  EXPECT_EQ(nullptr, pOut);
  EXPECT_EQ(E_NOINTERFACE, CreateInstance(CLSID_CounterTest, kUnknownIid, &pOut));
  EXPECT_EQ(nullptr, pOut);
  EXPECT_EQ(E_POINTER, CreateInstance(CLSID_CounterTest, ICounterTest::kIid, nullptr));
}

TEST_F(ComponentTest, ReleasedObjectsLetTheLibraryUnload) {
  Register();
  {
    CInterfacePtr<ICounterTest> pCounter;
    ASSERT_EQ(S_OK, CreateInstance(CLSID_CounterTest, ICounterTest::kIid, pCounter.Receive()));
    EXPECT_EQ(2u, pCounter->AddRef());
    EXPECT_EQ(1u, pCounter->Release());
  }
  EXPECT_EQ(1, FreeUnusedLibraries());
  EXPECT_TRUE(GetLoadedLibraries().empty());
  // Loads again on the next creation.
  CInterfacePtr<ICounterTest> pCounter;
  EXPECT_EQ(S_OK, CreateInstance(PROGID_CounterTest, ICounterTest::kIid, pCounter.Receive()));
}

TEST_F(ComponentTest, LibraryWithALiveObjectStaysLoaded) {
  Register();
  CInterfacePtr<ICounterTest> pCounter;
  ASSERT_EQ(S_OK, CreateInstance(CLSID_CounterTest, ICounterTest::kIid, pCounter.Receive()));
  CInterfacePtr<ILabelTest> pLabel;
  ASSERT_EQ(S_OK, pCounter->QueryInterface(ILabelTest::kIid, pLabel.Receive()));
  pCounter.Reset();  // one reference left, through the other interface
  EXPECT_EQ(0, FreeUnusedLibraries());
  EXPECT_EQ(1u, GetLoadedLibraries().size());
  EXPECT_EQ(S_OK, pLabel->SetLabel("still here"));
  pLabel.Reset();
  EXPECT_EQ(1, FreeUnusedLibraries());
  EXPECT_TRUE(GetLoadedLibraries().empty());
}

TEST_F(ComponentTest, ServerLockKeepsTheModuleBusy) {
  void* pHandle = dlopen(TestComponentPath().c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(nullptr, pHandle);
  using GetFn = int32_t (*)(const char*, const char*, void**);
  using CanFn = int32_t (*)();
  auto pfnGet = reinterpret_cast<GetFn>(dlsym(pHandle, WDX_ENTRY_GET_CLASS_OBJECT));
  auto pfnCan = reinterpret_cast<CanFn>(dlsym(pHandle, WDX_ENTRY_CAN_UNLOAD_NOW));
  ASSERT_TRUE(pfnGet && pfnCan);
  EXPECT_EQ(S_OK, pfnCan());
  CInterfacePtr<IClassFactory> pFactory;
  EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, pfnGet(kUnknownIid, IID_IClassFactory, pFactory.Receive()));
  ASSERT_EQ(S_OK, pfnGet(CLSID_CounterTest, IID_IClassFactory, pFactory.Receive()));
  EXPECT_EQ(S_FALSE, pfnCan());  // the factory itself is alive
  void* pOut = nullptr;
  EXPECT_EQ(E_NOINTERFACE, pFactory->CreateInstance(kUnknownIid, &pOut));
  ASSERT_EQ(S_OK, pFactory->LockServer(true));
  pFactory.Reset();
  EXPECT_EQ(S_FALSE, pfnCan());
  ASSERT_EQ(S_OK, pfnGet(CLSID_CounterTest, IID_IClassFactory, pFactory.Receive()));
  ASSERT_EQ(S_OK, pFactory->LockServer(false));
  pFactory.Reset();
  EXPECT_EQ(S_OK, pfnCan());
  dlclose(pHandle);
}

// --- Broken libraries and registry entries ------------------------------------------------

TEST_F(ComponentTest, MissingLibraryFileIsReported) {
  const std::string sPath = m_oFixture.Folder().File("absent.so");
  EXPECT_EQ(CO_E_DLLNOTFOUND, RegisterLibrary(sPath, false));
  EXPECT_NE(std::string::npos, GetComponentError().find(sPath));
}

TEST_F(ComponentTest, TextFileIsNotLoaded) {
  m_oFixture.Folder().Write("fake.so", "this is not a shared library\n");
  const std::string sPath = m_oFixture.Folder().File("fake.so");
  EXPECT_EQ(CO_E_DLLNOTFOUND, RegisterLibrary(sPath, false));
  EXPECT_NE(std::string::npos, GetComponentError().find("fake.so"));  // dlerror names the file
  WriteServer(CLSID_CounterTest, sPath);
  void* pOut = nullptr;
  EXPECT_EQ(CO_E_DLLNOTFOUND, CreateInstance(CLSID_CounterTest, ICounterTest::kIid, &pOut));
  EXPECT_TRUE(GetLoadedLibraries().empty());
}

TEST_F(ComponentTest, LibraryWithoutEntryPointsIsRefused) {
  EXPECT_EQ(CO_E_ERRORINDLL, RegisterLibrary(kLibm, false));
  EXPECT_NE(std::string::npos, GetComponentError().find("WdxRegisterServer"));
  EXPECT_EQ(CO_E_ERRORINDLL, RegisterLibrary(kLibm, true));
  WriteServer(CLSID_CounterTest, kLibm);
  void* pOut = nullptr;
  EXPECT_EQ(CO_E_ERRORINDLL, CreateInstance(CLSID_CounterTest, ICounterTest::kIid, &pOut));
  EXPECT_EQ(nullptr, pOut);
  EXPECT_TRUE(GetLoadedLibraries().empty());
}

TEST_F(ComponentTest, RegistryEntryOfADeletedFileIsReported) {
  const std::string sCopy = m_oFixture.Folder().File("copy.so");
  std::filesystem::copy_file(TestComponentPath(), sCopy);
  ASSERT_EQ(S_OK, RegisterLibrary(sCopy, false));
  ASSERT_EQ(sCopy, Value(ClassKey() + "\\InprocServer32"));
  std::filesystem::remove(sCopy);
  void* pOut = nullptr;
  EXPECT_EQ(CO_E_DLLNOTFOUND, CreateInstance(PROGID_CounterTest, ICounterTest::kIid, &pOut));
  EXPECT_EQ(nullptr, pOut);
}

TEST_F(ComponentTest, GarbageRegistryEntriesMeanNotRegistered) {
  void* pOut = nullptr;
  WriteServer(CLSID_CounterTest, "");
  EXPECT_EQ(REGDB_E_CLASSNOTREG, CreateInstance(CLSID_CounterTest, ICounterTest::kIid, &pOut));
  ASSERT_TRUE(OpenRegistryStore()->SetValue("HKCR\\Junk.Name\\CLSID", "", "\x01garbage"));
  EXPECT_EQ(REGDB_E_CLASSNOTREG, CreateInstance("Junk.Name", ICounterTest::kIid, &pOut));
  EXPECT_EQ(REGDB_E_CLASSNOTREG, CreateInstance(std::string(5000, 'x'), ICounterTest::kIid, &pOut));
  // A class that the library named in the registry does not serve.
  const std::string sOther = "{11111111-2222-3333-4444-555555555555}";
  WriteServer(sOther, TestComponentPath());
  EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, CreateInstance(sOther, ICounterTest::kIid, &pOut));
  EXPECT_EQ(nullptr, pOut);
}

TEST_F(ComponentTest, ConcurrentCreationAndUnloadingStayConsistent) {
  Register();
  std::atomic<int> iFailures{0};
  std::vector<std::thread> oThreads;
  for (int t = 0; t < 4; ++t) {
    oThreads.emplace_back([&iFailures] {
      for (int i = 0; i < 40; ++i) {
        CInterfacePtr<ICounterTest> pCounter;
        int32_t lValue = 0;
        if (CreateInstance(PROGID_CounterTest, ICounterTest::kIid, pCounter.Receive()) != S_OK ||
            pCounter->Add(i) != S_OK || pCounter->Get(&lValue) != S_OK || lValue != i) {
          ++iFailures;
        }
        pCounter.Reset();
        FreeUnusedLibraries();
      }
    });
  }
  for (auto& oThread : oThreads) oThread.join();
  EXPECT_EQ(0, iFailures.load());
  FreeUnusedLibraries();
  EXPECT_TRUE(GetLoadedLibraries().empty());
}

// --- Identifiers and the Variant ----------------------------------------------------------

TEST(ComponentIdentifierTest, GuidsCompareWithoutLetterCase) {
  EXPECT_TRUE(IsSameGuid("{6F23E884-F7E1-4F0E-9D67-FCE0BC2A62A1}",
                         "{6f23e884-f7e1-4f0e-9d67-fce0bc2a62a1}"));
  EXPECT_FALSE(IsSameGuid("{6F23E884-F7E1-4F0E-9D67-FCE0BC2A62A1}",
                          "{6F23E884-F7E1-4F0E-9D67-FCE0BC2A62A}"));
  EXPECT_FALSE(IsSameGuid(nullptr, IID_IUnknown));
  EXPECT_TRUE(IsGuidText(IID_IUnknown));
  EXPECT_FALSE(IsGuidText("{6F23E884-F7E1-4F0E-9D67-FCE0BC2A62AZ}"));
  EXPECT_FALSE(IsGuidText("6F23E884-F7E1-4F0E-9D67-FCE0BC2A62A1"));
}

TEST(ComponentVariantTest, ConvertsToString) {
  CVariant oInt(int32_t{-42});
  ASSERT_TRUE(oInt.ChangeTypeToString());
  EXPECT_EQ(VT_BSTR, oInt.GetType());
  EXPECT_EQ("-42", oInt.GetString());
  CVariant oTrue(true);
  ASSERT_TRUE(oTrue.ChangeTypeToString());
  EXPECT_EQ("-1", oTrue.GetString());
  CVariant oFalse(false);
  ASSERT_TRUE(oFalse.ChangeTypeToString());
  EXPECT_EQ("0", oFalse.GetString());
  CVariant oEmpty;
  ASSERT_TRUE(oEmpty.ChangeTypeToString());
  EXPECT_EQ(VT_BSTR, oEmpty.GetType());
  EXPECT_EQ("", oEmpty.GetString());
  CVariant oText("abc");
  ASSERT_TRUE(oText.ChangeTypeToString());
  EXPECT_EQ("abc", oText.GetString());
  oText.Clear();
  EXPECT_EQ(VT_EMPTY, oText.GetType());
  EXPECT_EQ("", oText.GetString());
  EXPECT_EQ(0, oText.GetInt32());
}

}  // namespace
}  // namespace wdx
