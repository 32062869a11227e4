// The test component library: CCounterTest behind ICounterTest and ILabelTest.
#include "tests/support/test_component.h"

#include <atomic>
#include <string>
#include <vector>

#include "platform/component_module.h"

namespace wdx::test {
namespace {

class CCounterTest final : public CComObject<CCounterTest, ICounterTest, ILabelTest> {
 public:
  CCounterTest() = default;

  HRESULT Add(int32_t lValue) override {
    m_lCount.fetch_add(lValue);
    return S_OK;
  }
  HRESULT Get(int32_t* plValue) override {
    if (plValue == nullptr) return E_POINTER;
    *plValue = m_lCount.load();
    return S_OK;
  }
  HRESULT SetLabel(const char* szLabel) override {
    if (szLabel == nullptr) return E_POINTER;
    m_sLabel = szLabel;
    return S_OK;
  }
  HRESULT GetLabel(CVariant* pValue) override {
    if (pValue == nullptr) return E_POINTER;
    *pValue = m_sLabel.empty() ? CVariant() : CVariant(m_sLabel);
    return S_OK;
  }

 private:
  std::atomic<int32_t> m_lCount{0};
  std::string m_sLabel;
};

const std::vector<SComponentClass>& GetTestClasses() {
  static const std::vector<SComponentClass> s_oClasses = {
      {{CLSID_CounterTest, "CounterTest Class", PROGID_CounterTest, PROGID_CounterTestIndependent,
        "Free", TYPELIB_CounterTest},
       &CreateComObject<CCounterTest>},
  };
  return s_oClasses;
}

}  // namespace
}  // namespace wdx::test

WDX_COMPONENT_MODULE(wdx::test::GetTestClasses)
