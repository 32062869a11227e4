// The automation table of the Rirer2Oduvo class.
#include "components/rirer2oduvo/rirer2oduvo.h"

namespace wdx {

std::vector<SDispMethod> CRirer2Oduvo::GetDispatchTable() {
  // An event object lives in its caller's process: by name only "no event" (0) can be given.
  auto fnSetRefToZuvEvent = [this](const std::vector<CVariant>& aArgs, CVariant& oResult) {
    int32_t lPointer = 0;
    if (!DispArgToInt32(aArgs[0], lPointer) || lPointer != 0) return DISP_E_TYPEMISMATCH;
    int32_t lResult = 0;
    const HRESULT hr = SetRefToZuvEvent(nullptr, &lResult);
    oResult = CVariant(lResult);
    return hr;
  };
  return {DispMethod(1, "AddAddress", this, &CRirer2Oduvo::AddAddress),
          DispMethod(2, "SendAlerts", this, &CRirer2Oduvo::SendAlerts),
          DispMethod(3, "DeleteAddresses", this, &CRirer2Oduvo::DeleteAddresses),
          DispMethod(4, "SetMessage1", this, &CRirer2Oduvo::SetMessage1),
          DispMethod(5, "SetAcknowledgeState", this, &CRirer2Oduvo::SetAcknowledgeState),
          DispMethod(6, "MessageType", this, &CRirer2Oduvo::MessageType),
          DispMethod(7, "GetAcknowledgedStatus", this, &CRirer2Oduvo::GetAcknowledgedStatus),
          {8, "SetRefToZuvEvent", 1, fnSetRefToZuvEvent},
          DispMethod(9, "GetProcessingStatus", this, &CRirer2Oduvo::GetProcessingStatus),
          DispMethod(10, "SetProcessingState", this, &CRirer2Oduvo::SetProcessingState),
          DispMethod(11, "Initialize", this, &CRirer2Oduvo::Initialize),
          DispMethod(12, "GetInitStatus", this, &CRirer2Oduvo::GetInitStatus)};
}

}  // namespace wdx
