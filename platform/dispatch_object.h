// The automation side of a component object, built from its vtable methods:
//   - CDispatchEntry<TDerived>: an IDispatch for CComObject's interface list. TDerived supplies
//     `std::vector<SDispMethod> GetDispatchTable()`; the table is built for each call, so the
//     entry holds no state of its own.
//   - DispMethod(lDispId, szName, pObject, &T::Method): one table row for a method whose
//     parameters are in-values (const CVariant&, const char*, const int32_t*) followed by at most
//     one out-value (int32_t*, which answers VT_I4, or CVariant*). An argument that cannot be
//     read as its parameter fails the call with DISP_E_TYPEMISMATCH before the method runs.
//   - DispArgToText / DispArgToInt32: those conversions, for rows written by hand.
//
// Threading: the helpers are pure; the entry follows its object's contract.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/dispatch.h"

namespace wdx {

// The argument as text (integers in decimal, truth values "-1"/"0", empty as "").
bool DispArgToText(const CVariant& vArg, std::string& sText);
// The argument as a 32-bit integer: VT_I4 and VT_BOOL as held, a string holding a decimal
// number in range (blanks around it allowed), empty as 0. False for any other text.
bool DispArgToInt32(const CVariant& vArg, int32_t& lValue);

namespace dispatch_detail {

template <class TParam>
struct SInArg;

template <>
struct SInArg<const CVariant&> {
  bool Load(const CVariant& vArg) {
    m_pArg = &vArg;
    return true;
  }
  const CVariant& Get() const { return *m_pArg; }
  const CVariant* m_pArg = nullptr;
};

template <>
struct SInArg<const char*> {
  bool Load(const CVariant& vArg) { return DispArgToText(vArg, m_sText); }
  const char* Get() const { return m_sText.c_str(); }
  std::string m_sText;
};

template <>
struct SInArg<const int32_t*> {
  bool Load(const CVariant& vArg) { return DispArgToInt32(vArg, m_lValue); }
  const int32_t* Get() const { return &m_lValue; }
  int32_t m_lValue = 0;
};

template <class TParam>
struct SOutArg {
  static constexpr bool kIsOut = false;
};

template <>
struct SOutArg<int32_t*> {
  static constexpr bool kIsOut = true;
  int32_t* Slot() { return &m_lValue; }
  void Put(CVariant& oResult) const { oResult = CVariant(m_lValue); }
  int32_t m_lValue = 0;
};

template <>
struct SOutArg<CVariant*> {
  static constexpr bool kIsOut = true;
  CVariant* Slot() { return &m_vValue; }
  void Put(CVariant& oResult) const { oResult = m_vValue; }
  CVariant m_vValue;
};

template <class T, class... TParams, size_t... I>
HRESULT Call(T* pObject, HRESULT (T::*pfnMethod)(TParams...), const std::vector<CVariant>& aArgs,
             CVariant& oResult, std::index_sequence<I...>) {
  using TList = std::tuple<TParams...>;
  std::tuple<SInArg<std::tuple_element_t<I, TList>>...> oIns;
  if (!(std::get<I>(oIns).Load(aArgs[I]) && ...)) return DISP_E_TYPEMISMATCH;
  if constexpr (sizeof...(I) == sizeof...(TParams)) {
    return (pObject->*pfnMethod)(std::get<I>(oIns).Get()...);
  } else {
    SOutArg<std::tuple_element_t<sizeof...(I), TList>> oOut;
    const HRESULT hr = (pObject->*pfnMethod)(std::get<I>(oIns).Get()..., oOut.Slot());
    if (Succeeded(hr)) oOut.Put(oResult);
    return hr;
  }
}

}  // namespace dispatch_detail

template <class T, class... TParams>
SDispMethod DispMethod(int32_t lDispId, const char* szName, T* pObject,
                       HRESULT (T::*pfnMethod)(TParams...)) {
  using TLast = std::tuple_element_t<sizeof...(TParams) - 1, std::tuple<TParams...>>;
  constexpr size_t uIns = sizeof...(TParams) - (dispatch_detail::SOutArg<TLast>::kIsOut ? 1 : 0);
  return {lDispId, szName, uIns,
          [pObject, pfnMethod](const std::vector<CVariant>& aArgs, CVariant& oResult) {
            return dispatch_detail::Call(pObject, pfnMethod, aArgs, oResult,
                                         std::make_index_sequence<uIns>());
          }};
}

template <class TDerived>
class CDispatchEntry : public IDispatch {
 public:
  HRESULT GetIDOfName(const std::string& sName, int32_t& lDispId) override {
    return DispatchGetIDOfName(Self().GetDispatchTable(), sName, lDispId);
  }
  HRESULT Invoke(int32_t lDispId, const std::vector<CVariant>& aArgs, CVariant& oResult) override {
    return DispatchInvoke(Self().GetDispatchTable(), lDispId, aArgs, oResult);
  }

 private:
  TDerived& Self() { return static_cast<TDerived&>(*this); }
};

}  // namespace wdx
