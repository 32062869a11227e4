// LoadUrlWatches: the console's process watch adds the web server's counters for its
// sensitivity test when the "UseIIS" option is set: when [URLS] has a first line, the four keys
// "\\MACHINE\Web Service(_Total)\COUNTER" in a fixed order, through the warden's AddKey,
// stopping at the first refusal.
//
// Threading: the caller's thread; the key file and warden are borrowed.
#pragma once

#include <string>

namespace wdx {

class CRamFileRO;
class CWarden;

inline constexpr const char* URL_WATCH_COUNTERS[4] = {"Service Uptime", "total method requests",
                                                      "total get requests",
                                                      "total connection attempts (all instances)"};

struct SUrlWatches {
  bool m_bLoaded = false;    // all four keys were accepted
  std::string m_sLastError;  // "Cannot see " + the first URL after a refusal
};

// True when [URLS] is empty or all four keys were accepted.
bool LoadUrlWatches(CRamFileRO& oKeyFile, CWarden& oWarden, const std::string& sMachineName,
                    SUrlWatches& oResult);

}  // namespace wdx
