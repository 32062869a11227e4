// CWManager: the process watch of the GO loop: matches the configured programs to running
// processes and gives their ids. No watched program is known to it yet, so every lookup finds
// none and the watch list counts as loaded but empty.
//
// Threading: used by the operations thread only.
#pragma once

#include <string>

namespace wdx {

class CItemManager;
class CRamFileRO;
class CWarden;

class CWManager final {
 public:
  explicit CWManager(CItemManager* pItems) : m_pItems(pItems) {}
  CWManager(const CWManager&) = delete;
  CWManager& operator=(const CWManager&) = delete;

  bool Initialize(CRamFileRO* pKeyFile, CWarden* pWarden, const std::string& sMachineName) {
    m_bLive = pKeyFile != nullptr && pWarden != nullptr && !sMachineName.empty();
    return m_bLive;
  }
  bool IsLive() const { return m_bLive; }
  // Loads the watch names; true when every watched program runs.
  bool LWN() { return true; }
  // Process id of the program, 0 when none runs.
  int GetPidByProgramName(const std::string&) { return 0; }
  bool RegisterLaunchedProcess(const std::string&, int) { return true; }

  bool m_bWatchNamesLoaded = false;
  std::string m_sLastError;

 private:
  CItemManager* m_pItems;
  bool m_bLive = false;
};

}  // namespace wdx
