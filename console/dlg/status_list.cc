#include "console/dlg/status_list.h"

namespace wdx {

void CStatusList::Append(const std::string& sLine) {
  if (m_oLines.size() >= WDX_STATUS_LIST_LINES) m_oLines.pop_front();
  m_oLines.push_back(sLine);
  ++m_llAppended;
}

}  // namespace wdx
