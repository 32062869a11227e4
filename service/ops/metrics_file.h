// CMetricsFile: the service's state for a Prometheus server, written after every GO cycle to the
// file named by the "MetricsFile" setting in the text exposition format (for node_exporter's
// textfile collector). The file is replaced whole (temporary file in the same folder, fsync,
// rename), so that a reader never sees half of it. A file that cannot be written costs one error
// line in the process log; the next error line comes only after a write has worked again.
//
// FormatMetrics and EscapeLabelValue are pure and shared with the tests.
//
// Threading: a CMetricsFile is used by one thread at a time (the operations thread).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace wdx {

// One monitored item as the metrics show it.
struct SMetricsItem {
  int iType = 0;  // ITEM_LOCAL_URL, ITEM_REMOTE_URL or ITEM_PROGRAM
  std::string sName;
  bool bUp = false;
};

// What one write of the file shows.
struct SMetricsSnapshot {
  int iOpsState = 0;  // WDX_STATE_...
  bool bGoMode = false;
  int iServerState = 0;  // ZUV_SERVER_UP, ..._RESTARTING, ..._REBOOTONG
  std::vector<SMetricsItem> oItems;
  int64_t iRestarts = 0;  // since the service started
  int64_t iReboots = 0;
  double dCycleEnd = 0;      // unix seconds; 0: no cycle has ended yet (the line is left out)
  double dCycleSeconds = 0;  // length of that cycle
};

// A label value as the format wants it: backslash, double quote and line feed escaped; bytes that
// are not UTF-8 become U+FFFD, since one bad byte makes a scraper refuse the whole file.
std::string EscapeLabelValue(const std::string& sValue);

// The whole file for the snapshot. Items of the same type and name (ignoring ASCII case, as the
// item lookups do) appear once, the first one counting: a repeated series is an error to scrapers.
std::string FormatMetrics(const SMetricsSnapshot& oSnapshot);

class CMetricsFile final {
 public:
  CMetricsFile() = default;
  CMetricsFile(const CMetricsFile&) = delete;
  CMetricsFile& operator=(const CMetricsFile&) = delete;

  // "" turns the file off. A new path starts with a clean slate for the error line.
  void SetPath(const std::string& sPath);
  const std::string& GetPath() const { return m_sPath; }
  // Replaces the file with the snapshot; true when written or when off.
  bool Write(const SMetricsSnapshot& oSnapshot);

 private:
  std::string m_sPath;
  bool m_bFailureLogged = false;
};

}  // namespace wdx
