// Late binding: the table lookups, the argument conversions, table rows made from vtable
// methods, and an object that answers both its own interface and IDispatch.
#include "platform/dispatch.h"

#include <gtest/gtest.h>

#include "platform/component_module.h"
#include "platform/dispatch_object.h"

namespace wdx {
namespace {

std::vector<SDispMethod> SampleTable(int& iCalls) {
  auto fnEcho = [&iCalls](const std::vector<CVariant>& aArgs, CVariant& oResult) {
    ++iCalls;
    oResult = aArgs[1];
    return S_OK;
  };
  auto fnFail = [&iCalls](const std::vector<CVariant>&, CVariant& oResult) {
    ++iCalls;
    oResult = CVariant(int32_t{5});  // what a failing method leaves is passed on as it is
    return E_FAIL;
  };
  return {{3, "Echo", 2, fnEcho}, {7, "FailNow", 0, fnFail}, {9, "Hollow", 0, nullptr}};
}

TEST(DispatchTable, NamesAreFoundWithoutLetterCase) {
  int iCalls = 0;
  const std::vector<SDispMethod> aTable = SampleTable(iCalls);
  const std::pair<const char*, int32_t> aoCases[] = {{"Echo", 3},   {"ECHO", 3}, {"failnow", 7},
                                                     {"Hollow", 9}, {"Ech", -1}, {"", -1},
                                                     {"Echo ", -1}};
  for (const auto& [szName, lExpected] : aoCases) {
    int32_t lDispId = 99;
    const HRESULT hr = DispatchGetIDOfName(aTable, szName, lDispId);
    EXPECT_EQ(hr, lExpected < 0 ? DISP_E_UNKNOWNNAME : S_OK) << szName;
    EXPECT_EQ(lDispId, lExpected) << szName;
  }
}

TEST(DispatchTable, InvokeChecksTheIdentifierAndTheArgumentCount) {
  int iCalls = 0;
  const std::vector<SDispMethod> aTable = SampleTable(iCalls);
  struct SCase {
    int32_t lDispId;
    size_t uArgs;
    HRESULT hrExpected;
    int iCalls;  // calls made so far
  };
  const SCase aoCases[] = {
      {3, 2, S_OK, 1},
      {3, 1, DISP_E_BADPARAMCOUNT, 1},
      {3, 3, DISP_E_BADPARAMCOUNT, 1},
      {7, 0, E_FAIL, 2},
      {9, 0, DISP_E_MEMBERNOTFOUND, 2},
      {4, 2, DISP_E_MEMBERNOTFOUND, 2},
      {-1, 0, DISP_E_MEMBERNOTFOUND, 2},
  };
  for (const SCase& oCase : aoCases) {
    const std::vector<CVariant> aArgs(oCase.uArgs, CVariant("x"));
    CVariant vResult("stale");
    EXPECT_EQ(DispatchInvoke(aTable, oCase.lDispId, aArgs, vResult), oCase.hrExpected)
        << oCase.lDispId << "/" << oCase.uArgs;
    EXPECT_EQ(iCalls, oCase.iCalls) << oCase.lDispId << "/" << oCase.uArgs;
    if (oCase.hrExpected == S_OK) {
      EXPECT_EQ(vResult.GetString(), "x");
    } else if (oCase.lDispId != 7) {
      EXPECT_EQ(vResult.GetType(), VT_EMPTY) << oCase.lDispId;
    }
  }
}

TEST(DispatchArguments, ConversionsToTextAndInteger) {
  struct SCase {
    CVariant vArg;
    const char* szText;
    bool bIsInt;
    int32_t lInt;
  };
  const SCase aoCases[] = {
      {CVariant(int32_t{-12}), "-12", true, -12},
      {CVariant(true), "-1", true, -1},
      {CVariant(), "", true, 0},
      {CVariant("17"), "17", true, 17},
      {CVariant(" -3 "), " -3 ", true, -3},
      {CVariant("2147483648"), "2147483648", false, 0},
      {CVariant("1x"), "1x", false, 0},
      {CVariant(""), "", false, 0},
  };
  for (const SCase& oCase : aoCases) {
    std::string sText = "old";
    EXPECT_TRUE(DispArgToText(oCase.vArg, sText));
    EXPECT_EQ(sText, oCase.szText);
    int32_t lValue = 99;
    EXPECT_EQ(DispArgToInt32(oCase.vArg, lValue), oCase.bIsInt) << oCase.szText;
    if (oCase.bIsInt) {
      EXPECT_EQ(lValue, oCase.lInt) << oCase.szText;
    }
  }
}

// A component object with a vtable interface and its automation table.
class ISample : public IUnknown {
 public:
  static constexpr const char* kIid = "{0D7A55E1-6E43-4B8E-9F21-3A9C8B7D6E50}";
  virtual HRESULT Join(const CVariant& vLeft, const char* szRight, CVariant* pvResult) = 0;
  virtual HRESULT Twice(const int32_t* plValue, int32_t* plResult) = 0;
  virtual HRESULT Remember(const CVariant& vValue) = 0;
  virtual HRESULT Refuse(int32_t* plResult) = 0;
};

class CSample final : public CComObject<CSample, ISample, CDispatchEntry<CSample>> {
 public:
  HRESULT Join(const CVariant& vLeft, const char* szRight, CVariant* pvResult) override {
    *pvResult = CVariant(ResultOf(vLeft) + szRight);
    return S_OK;
  }
  HRESULT Twice(const int32_t* plValue, int32_t* plResult) override {
    ++m_iTwiceCalls;
    *plResult = *plValue * 2;
    return S_OK;
  }
  HRESULT Remember(const CVariant& vValue) override {
    m_sRemembered = ResultOf(vValue);
    return S_OK;
  }
  HRESULT Refuse(int32_t* plResult) override {
    *plResult = 1;
    return DISP_E_TYPEMISMATCH - 1;
  }
  std::vector<SDispMethod> GetDispatchTable() {
    return {DispMethod(1, "Join", this, &CSample::Join),
            DispMethod(2, "Twice", this, &CSample::Twice),
            DispMethod(3, "Remember", this, &CSample::Remember),
            DispMethod(4, "Refuse", this, &CSample::Refuse)};
  }
  static std::string ResultOf(const CVariant& vValue) {
    std::string sText;
    DispArgToText(vValue, sText);
    return sText;
  }

  int m_iTwiceCalls = 0;
  std::string m_sRemembered;
};

TEST(DispatchObject, RowsFromMethodsConvertArgumentsAndResults) {
  CInterfacePtr<IDispatch> pDispatch;
  ASSERT_EQ(CreateComObject<CSample>(IID_IDispatch, pDispatch.Receive()), S_OK);
  CSample& oSample = static_cast<CSample&>(*static_cast<CDispatchEntry<CSample>*>(pDispatch.Get()));
  struct SCase {
    int32_t lDispId;
    std::vector<CVariant> aArgs;
    HRESULT hrExpected;
    const char* szResult;  // as text; "<empty>" for no value
  };
  const SCase aoCases[] = {
      {1, {CVariant("a"), CVariant(int32_t{7})}, S_OK, "a7"},
      {1, {CVariant("a")}, DISP_E_BADPARAMCOUNT, "<empty>"},
      {2, {CVariant(int32_t{21})}, S_OK, "42"},
      {2, {CVariant("-4")}, S_OK, "-8"},
      {2, {CVariant("four")}, DISP_E_TYPEMISMATCH, "<empty>"},
      {3, {CVariant(true)}, S_OK, "<empty>"},
      {4, {}, DISP_E_TYPEMISMATCH - 1, "<empty>"},
  };
  for (const SCase& oCase : aoCases) {
    CVariant vResult;
    EXPECT_EQ(pDispatch->Invoke(oCase.lDispId, oCase.aArgs, vResult), oCase.hrExpected)
        << oCase.lDispId;
    const std::string sResult =
        vResult.GetType() == VT_EMPTY ? "<empty>" : CSample::ResultOf(vResult);
    EXPECT_EQ(sResult, oCase.szResult) << oCase.lDispId;
    if (oCase.lDispId == 2) {
      EXPECT_EQ(vResult.GetType() == VT_I4, oCase.hrExpected == S_OK);
    }
  }
  EXPECT_EQ(oSample.m_iTwiceCalls, 2);  // not called with an argument it cannot take
  EXPECT_EQ(oSample.m_sRemembered, "-1");

  // One object behind both interfaces.
  CInterfacePtr<ISample> pSample;
  ASSERT_EQ(pDispatch->QueryInterface(ISample::kIid, pSample.Receive()), S_OK);
  CInterfacePtr<IUnknown> pFromDispatch;
  CInterfacePtr<IUnknown> pFromSample;
  ASSERT_EQ(pDispatch->QueryInterface(IID_IUnknown, pFromDispatch.Receive()), S_OK);
  ASSERT_EQ(pSample->QueryInterface(IID_IUnknown, pFromSample.Receive()), S_OK);
  EXPECT_EQ(pFromDispatch.Get(), pFromSample.Get());
  int32_t lDispId = 0;
  EXPECT_EQ(pDispatch->GetIDOfName("twice", lDispId), S_OK);
  EXPECT_EQ(lDispId, 2);
}

}  // namespace
}  // namespace wdx
