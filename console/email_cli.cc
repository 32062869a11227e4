#include "console/email_cli.h"

#include <memory>
#include <ostream>

#include "foundation/ram_file.h"
#include "service/alerts/emailer.h"
#include "service/settings/all_sets.h"

namespace wdx {
namespace {

bool LoadSettings(const std::string& sFolder, CRamFileRO& oKeyFile, CAllSets& oSets) {
  oSets.m_pKeyFile = &oKeyFile;
  oSets.m_oStrWorkingFolder.Assign(sFolder.c_str());
  return oSets.ReInitialize();
}

int TestServer(CAllSets& oSets, std::ostream& oOut, std::ostream& oErr) {
  CWsEmail oSender;
  oSender.Reset();
  oSender.m_oStrServerName.Assign(oSets.m_oStrSmtpServer.c_str());
  if (!CWsEmail::ParseSecurity(oSets.m_oStrSmtpSecurity.c_str(), oSender.m_eSecurity)) {
    oErr << "wardenix: SmtpSecurity must be none, starttls or tls.\n";
    return 1;
  }
  if (!oSender.m_oStrServerName.IsEmpty())
    oSender.ResolveNameToIp(oSender.m_oStrServerName.c_str());
  const bool bOk = oSender.TestOutput();
  oOut << oSender.m_oStrResult.c_str() << "\n";
  return bOk ? 0 : 1;
}

}  // namespace

int RunEmailCommand(const std::string& sVerb, const std::string& sFolder, std::ostream& oOut,
                    std::ostream& oErr) {
  CRamFileRO oKeyFile;
  CAllSets oSets;
  if (!LoadSettings(sFolder, oKeyFile, oSets)) {
    oErr << "wardenix: cannot read the settings of " << sFolder << ".\n";
    return 1;
  }
  if (sVerb == "test") return TestServer(oSets, oOut, oErr);
  CEmailer oEmailer;
  oEmailer.Initialize(&oSets);
  if (!oEmailer.ReloadEmailList() || !oEmailer.ValidateSettings(true)) {
    oErr << "wardenix: the e-mail settings are incomplete (see Wardenix.log).\n";
    return 1;
  }
  if (!oEmailer.SendTestMessage()) {
    oErr << "wardenix: the test message was not sent (see Wardenix.log).\n";
    return 1;
  }
  oOut << "Test message sent to " << oSets.m_pEmails->GetUsedCount() << " recipient(s).\n";
  return 0;
}

}  // namespace wdx
