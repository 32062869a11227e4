// CWManager: the process watch of the GO loop. Initialize loads the process table once; LWN
// walks the programs of the [STOPS] section, finds each one's running image (best-match scan,
// then the tilde match), gives the program's uptime item its image name, and adds the image's
// four counter keys "\\MACHINE\Process(TITLE)\COUNTER" to the warden's watcher (an image that
// two paths resolve to is added once). RegisterLaunchedProcess does the same for one process by
// id after reloading the table; GetPidByProgramName finds the process of a program.
//
// Threading: used by the operations thread only; the settings store, warden and item manager are
// borrowed and must outlive the object.
#pragma once

#include <string>

#include "foundation/zuv_base.h"
#include "service/procwatch/image_name.h"
#include "service/procwatch/image_name_matcher.h"

namespace wdx {

class CItemManager;
class CRamFileRO;
class CWarden;

// The counters added for each watched image, in this order.
inline constexpr const char* WMANAGER_COUNTERS[4] = {
    "Elapsed Time", "IO Data Bytes/sec", "IO Data Operations/sec", "IO Other Operations/sec"};

class CWManager final : public CZuvBase {
 public:
  explicit CWManager(CItemManager* pItems) : m_pItems(pItems) {}
  ~CWManager() override = default;

  bool Initialize(CRamFileRO* pKeyFile, CWarden* pWarden, const std::string& sMachineName);
  bool IsLive() const override;
  // Loads the watch names; true when every program of [STOPS] was found and its keys accepted.
  bool LWN();
  bool RegisterLaunchedProcess(const std::string& sProgramPath, int iPid);
  // Process id of the program, 0 when none runs (or not initialised).
  int GetPidByProgramName(const std::string& sProgramPath);

  // The table of processes (for the process folder of tests and for diagnostics).
  CImageName& GetTable() { return m_oTable; }
  int GetRegisteredCount() const { return m_iRegisteredCount; }
  // The key of one counter of an image.
  std::string MakeKey(const std::string& sBaseTitle, const char* szCounter) const;

  bool m_bWatchNamesLoaded = false;
  std::string m_sLastError;

 private:
  // Finds the row of one program path for LWN; false (the walk ends) when there is none.
  bool FindRow(const std::string& sProgramPath, CProcessImage*& pRow);
  // Adds the row's four keys unless it is registered; false at the first refusal.
  bool RegisterRow(CProcessImage& oRow);

  CItemManager* m_pItems;
  CRamFileRO* m_pKeyFile = nullptr;
  CWarden* m_pWarden = nullptr;
  std::string m_sMachineName;
  std::string m_sKeyPrefix;
  int m_iRegisteredCount = 0;
  bool m_bInitialized = false;
  CImageName m_oTable;
  CImageNameMatcher m_oMatcher;
};

}  // namespace wdx
