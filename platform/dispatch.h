// Late binding: the automation side of a component's dual interface, so that a script (or the
// automation host wdxcall) can call a method it names at run time with Variant arguments and
// read its result as a Variant. A component answers QueryInterface(IID_IDispatch) with an
// object whose methods are listed in a table (SDispMethod): dispatch identifier, name (matched
// without letter case) and the number of in-arguments; the method's out-value is the result.
//
// Threading: the table helpers are pure; an IDispatch object follows its component's contract.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/component.h"

namespace wdx {

inline constexpr const char* IID_IDispatch = "{00020400-0000-0000-C000-000000000046}";

inline constexpr HRESULT DISP_E_MEMBERNOTFOUND = static_cast<HRESULT>(0x80020003u);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = static_cast<HRESULT>(0x80020005u);
inline constexpr HRESULT DISP_E_UNKNOWNNAME = static_cast<HRESULT>(0x80020006u);
inline constexpr HRESULT DISP_E_BADPARAMCOUNT = static_cast<HRESULT>(0x8002000Eu);

class IDispatch : public IUnknown {
 public:
  static constexpr const char* kIid = IID_IDispatch;
  // The dispatch identifier of a method name; DISP_E_UNKNOWNNAME when there is none.
  virtual HRESULT GetIDOfName(const std::string& sName, int32_t& lDispId) = 0;
  // Calls the method with aArgs, in order; its out-value in oResult (empty when it has none).
  // DISP_E_MEMBERNOTFOUND, DISP_E_BADPARAMCOUNT, or what the method itself returns.
  virtual HRESULT Invoke(int32_t lDispId, const std::vector<CVariant>& aArgs,
                         CVariant& oResult) = 0;
};

using FnDispCall = std::function<HRESULT(const std::vector<CVariant>& aArgs, CVariant& oResult)>;

struct SDispMethod {
  int32_t m_lDispId = 0;
  const char* m_szName = "";
  size_t m_uArgs = 0;  // in-arguments; the out-value is not counted
  FnDispCall m_fnCall;
};

HRESULT DispatchGetIDOfName(const std::vector<SDispMethod>& aTable, const std::string& sName,
                            int32_t& lDispId);
HRESULT DispatchInvoke(const std::vector<SDispMethod>& aTable, int32_t lDispId,
                       const std::vector<CVariant>& aArgs, CVariant& oResult);

}  // namespace wdx
