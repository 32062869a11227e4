// The library glue of ZuvRirer2Oduvo.so: its one class on the platform's engines and the four
// exported entry points.
#include <new>
#include <vector>

#include "components/rirer2oduvo/rirer2oduvo.h"
#include "platform/component_module.h"

namespace wdx {
namespace {

HRESULT CreateRirer2Oduvo(const char* szIid, void** ppOut) {
  if (ppOut == nullptr) return E_POINTER;
  *ppOut = nullptr;
  auto* pObject = new (std::nothrow) CRirer2Oduvo(rirer::GetRealPhoneEngines());
  if (pObject == nullptr) return E_OUTOFMEMORY;
  pObject->AddRef();
  const HRESULT hr = pObject->QueryInterface(szIid, ppOut);
  pObject->Release();
  return hr;
}

const std::vector<SComponentClass>& GetRirer2OduvoClasses() {
  static const std::vector<SComponentClass> oClasses = {
      {{CLSID_Rirer2Oduvo, "Rirer2Oduvo Class", PROGID_Rirer2Oduvo1, PROGID_Rirer2Oduvo, "Free",
        LIBID_ZuvRirer2Oduvo},
       &CreateRirer2Oduvo}};
  return oClasses;
}

}  // namespace
}  // namespace wdx

WDX_COMPONENT_MODULE(wdx::GetRirer2OduvoClasses)
