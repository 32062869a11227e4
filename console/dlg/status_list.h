// CStatusList: the main window's status list: at most 21 lines, the oldest deleted first, the
// last line appended being the selected one.
//
// Threading: not synchronised; its owner guards it.
#pragma once

#include <deque>
#include <string>
#include <vector>

namespace wdx {

inline constexpr size_t WDX_STATUS_LIST_LINES = 21;

class CStatusList final {
 public:
  void Append(const std::string& sLine);
  std::vector<std::string> Lines() const { return {m_oLines.begin(), m_oLines.end()}; }
  // Lines appended since the list began (the page uses it to notice new lines).
  long long Appended() const { return m_llAppended; }

 private:
  std::deque<std::string> m_oLines;
  long long m_llAppended = 0;
};

}  // namespace wdx
