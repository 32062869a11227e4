#include "console/sense/url_watches.h"

#include "foundation/process_log.h"
#include "foundation/ram_file.h"
#include "service/restart/warden.h"

namespace wdx {

bool LoadUrlWatches(CRamFileRO& oKeyFile, CWarden& oWarden, const std::string& sMachineName,
                    SUrlWatches& oResult) {
  ZuvLogEvent("CWManager::LoadUrlWatches 0.");
  const std::string sFirstUrl = oKeyFile.GetFirstLineOfSection("[URLS]");
  if (sFirstUrl.empty()) {
    ZuvLogEvent("CWManager::LoadUrlWatches done.");
    return true;
  }
  const std::string sPrefix = "\\\\" + sMachineName + "\\Web Service(_Total)\\";
  int iStep = 1;
  for (const char* szCounter : URL_WATCH_COUNTERS) {
    ZuvLogEvent(("CWManager::LoadUrlWatches " + std::to_string(iStep++) + ".").c_str());
    if (!oWarden.AddKey(sPrefix + szCounter)) {
      oResult.m_sLastError = "Cannot see " + sFirstUrl;
      ZuvLogError("CWManager::LoadUrlWatches failed.");
      return false;
    }
  }
  ZuvLogEvent("CWManager::LoadUrlWatches 5.");
  oResult.m_bLoaded = true;
  ZuvLogEvent("CWManager::LoadUrlWatches done.");
  return true;
}

}  // namespace wdx
