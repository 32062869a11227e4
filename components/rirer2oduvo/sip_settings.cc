#include "components/rirer2oduvo/sip_settings.h"

#include "foundation/ram_file.h"

namespace wdx::rirer {

SSipAccount ReadSipAccount(const std::string& sWorkingFolder) {
  SSipAccount oAccount;
  CRamFileRO oSettings;
  oSettings.SetCreateWhenAbsent(false);
  // A settings file that cannot be read has been reported by the reader: no account then.
  if (!oSettings.Initialize(sWorkingFolder.c_str(), SIP_SETTINGS_FILE)) return oAccount;
  oAccount.m_sAccount = oSettings.GetKeyValue("SipAccount");
  oAccount.m_sPassword = oSettings.GetKeyValue("SipPassword");
  oAccount.m_sProxy = oSettings.GetKeyValue("SipProxy");
  return oAccount;
}

}  // namespace wdx::rirer
