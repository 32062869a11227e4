#include "platform/dispatch.h"

#include <strings.h>

namespace wdx {

HRESULT DispatchGetIDOfName(const std::vector<SDispMethod>& aTable, const std::string& sName,
                            int32_t& lDispId) {
  lDispId = -1;
  for (const SDispMethod& oMethod : aTable) {
    if (::strcasecmp(oMethod.m_szName, sName.c_str()) == 0) {
      lDispId = oMethod.m_lDispId;
      return S_OK;
    }
  }
  return DISP_E_UNKNOWNNAME;
}

HRESULT DispatchInvoke(const std::vector<SDispMethod>& aTable, int32_t lDispId,
                       const std::vector<CVariant>& aArgs, CVariant& oResult) {
  oResult.Clear();
  for (const SDispMethod& oMethod : aTable) {
    if (oMethod.m_lDispId != lDispId) continue;
    if (aArgs.size() != oMethod.m_uArgs) return DISP_E_BADPARAMCOUNT;
    return oMethod.m_fnCall ? oMethod.m_fnCall(aArgs, oResult) : DISP_E_MEMBERNOTFOUND;
  }
  return DISP_E_MEMBERNOTFOUND;
}

}  // namespace wdx
