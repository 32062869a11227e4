// The report parameter file FOLDER/RParams.txt that the report script reads: up to three blocks
// in the order "@RURLS@", "@URLS@", "@STOPS@", each a marker line followed by the lines of the
// settings section [RURLS], [URLS] or [STOPS]; a block whose section is empty is left out with
// its marker. Lines end in CR LF.
//
// Threading: free functions without shared state; one writer of the file at a time.
#pragma once

#include <string>
#include <vector>

namespace wdx {

inline constexpr const char* REPORT_PARAMS_FILE = "RParams.txt";
inline constexpr const char* REPORT_SCRIPT_FILE = "UtRpt.sh";
inline constexpr const char* REPORT_HTML_FILE = "UptimeReport.html";

struct SReportSections {
  std::vector<std::string> m_oRemoteUrls;  // [RURLS]
  std::vector<std::string> m_oLocalUrls;   // [URLS]
  std::vector<std::string> m_oStops;       // [STOPS]
};

// The file's lines, without their line ends.
std::vector<std::string> BuildReportParamLines(const SReportSections& oSections);

// Deletes an existing sFolder/RParams.txt and writes it afresh. False, with the reason in the
// process log, when the old file cannot be deleted or the new one cannot be written.
bool CreateReportParams(const std::string& sFolder, const SReportSections& oSections);

}  // namespace wdx
