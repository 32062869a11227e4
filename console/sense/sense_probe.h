// CSenseProbe: the real pieces of the sensitivity test, as the service uses them: the settings
// file of the program folder, the process watch (CWManager) with the warden's watcher client,
// which owns a Perfwatch component created through the component layer, and the URL checks of
// the GO cycle (TestUrl). The console's own item list holds the programs to monitor.
//
// ReadSenseSettings reads what the test needs from a loaded settings file.
//
// Threading: made on one thread and then used by one thread at a time (the test's worker).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "console/sense/sense_pass.h"
#include "foundation/ram_file.h"
#include "service/ops/item_manager.h"
#include "service/restart/warden.h"

namespace wdx {

class CWManager;

// The test's settings from the file; also its stored "Sensitivity" text and URL time limit.
SSenseSettings ReadSenseSettings(CRamFileRO& oKeyFile, std::string& sStoredSensitivity,
                                 int& iUrlTimeoutSeconds);

class CSenseProbe final : public ISenseProbe {
 public:
  explicit CSenseProbe(const std::string& sProgramFolder);
  ~CSenseProbe() override;
  CSenseProbe(const CSenseProbe&) = delete;
  CSenseProbe& operator=(const CSenseProbe&) = delete;

  // Reads AutoSet.caf (an absent file reads as empty); false with the reason.
  bool Load(std::string& sError);
  const SSenseSettings& GetSettings() const { return m_oSettings; }
  const std::string& GetStoredSensitivity() const { return m_sStoredSensitivity; }

  bool HasWatcher() override;
  void RecreateWatcher() override;
  bool LoadProcessKeys(std::string& sFailure) override;
  void LoadUrlWatches() override;
  bool TestLocalUrls(std::string& sFailedItem) override;
  int TestRemoteUrls(std::string& sFailedItem) override;
  bool Sample(int iPeriodMs, int iSeconds) override;
  std::string GetFirstFailure() override;
  int GetProcessKeyCount() override;

 private:
  std::vector<std::string> SectionLines(const char* szSection);

  std::string m_sFolder;
  CRamFile m_oKeyFile;
  SSenseSettings m_oSettings;
  std::string m_sStoredSensitivity;
  int m_iUrlTimeoutSeconds = 0;
  CItemManager m_oItems;
  CWarden m_oWarden;
  std::unique_ptr<CWManager> m_pWatch;
};

}  // namespace wdx
