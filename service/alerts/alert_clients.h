// The clients of the alert and guard components as the GO loop calls them: CInsurer
// (insurer.h) arms and disarms the hang guard around each cycle and restart, CEmailer
// (emailer.h) mails the up, down and remote-URL alerts, CPhoner phones them. The phone component
// is not loaded yet: the phone reports that it cannot send and is never ready.
//
// Threading: used by the operations thread only.
#pragma once

#include <string>

#include "service/alerts/emailer.h"
#include "service/alerts/insurer.h"

namespace wdx {

class CAllSets;

class CPhoner final {
 public:
  void SetWorkingDirectory(const std::string& sFolder) { m_sFolder = sFolder; }
  bool Initialize(CAllSets*) { return false; }
  bool IsReady() const { return false; }
  void SetMessageType(int iCode) { m_iMessageType = iCode; }
  bool SendUpMessage() { return false; }
  bool SendDownMessage() { return false; }
  bool SendCustomMessage(const std::string&) { return false; }
  // Refreshes the four readiness answers of the phone component; false when there is none.
  bool GetPhoneReadyState(unsigned char aReady[4]) {
    for (int i = 0; i < 4; ++i) aReady[i] = 0;
    return false;
  }
  void Release() {}

 private:
  std::string m_sFolder;
  int m_iMessageType = 0;
};

}  // namespace wdx
