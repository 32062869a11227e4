// The test component library wdx_test_component: one class, "WdxTest.Counter", with two
// interfaces, so that tests can drive the component layer through a real shared library.
//
// Threading: the counter is atomic; the label is for one thread at a time.
#pragma once

#include <cstdint>

#include "platform/component.h"

namespace wdx::test {

inline constexpr const char* CLSID_CounterTest = "{3C1F6A52-8D0B-4E7A-9B55-0F1E2D3C4B5A}";
inline constexpr const char* PROGID_CounterTest = "WdxTest.Counter.1";
inline constexpr const char* PROGID_CounterTestIndependent = "WdxTest.Counter";
inline constexpr const char* TYPELIB_CounterTest = "{7E2D4C61-1A3B-4F5E-8C7D-6B5A49382716}";

class ICounterTest : public IUnknown {
 public:
  static constexpr const char* kIid = "{A4B3C2D1-0E9F-4A8B-9C7D-5E6F70819203}";
  virtual HRESULT Add(int32_t lValue) = 0;
  virtual HRESULT Get(int32_t* plValue) = 0;
};

class ILabelTest : public IUnknown {
 public:
  static constexpr const char* kIid = "{B5C4D3E2-1F0A-4B9C-8D7E-6F7081920314}";
  virtual HRESULT SetLabel(const char* szLabel) = 0;
  // The label as a Variant string; empty while none was set.
  virtual HRESULT GetLabel(CVariant* pValue) = 0;
};

}  // namespace wdx::test
