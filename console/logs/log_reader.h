// CLogReader: the console's log viewer reads one log file of the program folder in pages of
// whole lines, newest last, and follows the lines added since an offset, without loading the
// whole file. A line ends at LF (any CRs before it belong to the line end, as in the logs'
// CR CR LF) or at a CR that another character follows. The unfinished last line (no line end
// yet) is kept apart as the tail, so that a reader that follows meets it again once it is
// complete. A file that became shorter than the offset asked for was rotated: it is read again
// from its start. Text is made safe to show: bytes that are not UTF-8 and control characters
// become U+FFFD, and lines longer than kLogLineShownBytes are cut with a note of the rest.
//
// Threading: const methods that only read the file; any thread, several at once.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace wdx {

inline constexpr int kLogPageDefaultLines = 200;
inline constexpr int kLogPageMaxLines = 2000;
// How far back a page looks for its lines, and how much one follow step reads.
inline constexpr int64_t kLogWindowBytes = 1 << 20;
inline constexpr size_t kLogLineShownBytes = 8192;

struct SLogPage {
  bool m_bExists = false;
  int64_t m_iSize = 0;   // of the file when it was read
  int64_t m_iStart = 0;  // offset of the first line returned
  int64_t m_iEnd = 0;    // offset after the last whole line returned
  std::vector<std::string> m_oLines;
  std::string m_sTail;      // the unfinished last line, empty when there is none
  bool m_bRotated = false;  // the offset asked for was beyond the end: read from the start
  bool m_bMore = false;     // a page: older lines exist; following: more new lines wait
};

// The log file of a viewer name: "console" Wardenix.log, "service" WDXSVC.log, "uptime"
// UpTime.log, "phone" PhoneOuts.log; nullptr for any other name.
const char* LogFileOfName(std::string_view sName);

// The bytes as text safe to show (see above); no cut.
std::string SafeLogText(std::string_view sBytes);

class CLogReader final {
 public:
  explicit CLogReader(std::string sPath) : m_sPath(std::move(sPath)) {}

  // Up to iLines whole lines that end at or before iBefore; iBefore < 0: the end of the file,
  // and then the tail too. A missing file is an empty page with m_bExists false; false (and
  // sError) when the file exists but cannot be read.
  bool ReadPage(int64_t iBefore, int iLines, SLogPage& oPage, std::string& sError) const;
  // The whole lines from iAfter on (at most kLogWindowBytes of them) and the tail.
  bool ReadAfter(int64_t iAfter, SLogPage& oPage, std::string& sError) const;

 private:
  std::string m_sPath;
};

}  // namespace wdx
