// The SIP backend: reads the number against the account as it stands now and makes a CSipCall.
#include "platform/platform_log.h"
#include "platform/telephony/sim_line.h"
#include "platform/telephony/sip/sip_call.h"
#include "platform/telephony/sip/sip_uri.h"
#include "platform/telephony/tel_backend.h"

namespace wdx {
namespace {

class CSipBackend final : public ITelBackend {
 public:
  explicit CSipBackend(FnSipAccount fnAccount) : m_fnAccount(std::move(fnAccount)) {}

  bool CanDial(const std::string& sNumber) const override {
    return sNumber.compare(0, std::char_traits<char>::length(kSimPrefix), kSimPrefix) != 0;
  }

  HRESULT CreateCall(const std::string& sNumber, std::shared_ptr<CTelEventHub> pHub,
                     std::shared_ptr<ITelCall>& pCall) override;

 private:
  const FnSipAccount m_fnAccount;
};

HRESULT CSipBackend::CreateCall(const std::string& sNumber, std::shared_ptr<CTelEventHub> pHub,
                                std::shared_ptr<ITelCall>& pCall) {
  pCall.reset();
  const SSipAccount oAccount = m_fnAccount ? m_fnAccount() : SSipAccount{};
  sip::SSipCallSetup oSetup;
  oSetup.m_sNumber = sNumber;
  std::string sReason;
  const sip::ESipNumber eForm = sip::ParseSipNumber(sNumber, oAccount, oSetup.m_oTarget, sReason);
  switch (eForm) {
    case sip::ESipNumber::NO_ACCOUNT:
      return TEL_E_NOLINE;  // the telephony layer logs that no line serves the number
    case sip::ESipNumber::BAD_FORM:
    case sip::ESipNumber::BAD_SETTING: {  // a bad setting leaves no line for the number
      const std::string sText = "SIP: cannot dial \"" + sNumber + "\": " + sReason;
      PlatformLogError(sText.c_str());
      return eForm == sip::ESipNumber::BAD_FORM ? TEL_E_BADNUMBER : TEL_E_NOLINE;
    }
    case sip::ESipNumber::OK:
      break;
  }
  sip::SSipAccountUri oUri;
  if (!oAccount.m_sAccount.empty()) {
    if (sip::ParseSipAccountUri(oAccount.m_sAccount, oUri, sReason)) {
      oSetup.m_sFromUri = "sip:" + oUri.m_sUser + "@" + oUri.m_sDomain;
      oSetup.m_sAuthUser = oUri.m_sUser;
      oSetup.m_sPassword = oAccount.m_sPassword;
    } else {  // a direct number still goes out, as an anonymous caller
      const std::string sText = "SIP: calling \"" + sNumber + "\" without the account: " + sReason;
      PlatformLogError(sText.c_str());
    }
  }
  pCall = std::make_shared<sip::CSipCall>(std::move(oSetup), std::move(pHub));
  return S_OK;
}

}  // namespace

std::unique_ptr<ITelBackend> CreateSipBackend(FnSipAccount fnAccount) {
  return std::make_unique<CSipBackend>(std::move(fnAccount));
}

}  // namespace wdx
