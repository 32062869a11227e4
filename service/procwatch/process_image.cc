#include "service/procwatch/process_image.h"

namespace wdx {
namespace {

std::string Bounded(const char* szText) {
  std::string sText = szText != nullptr ? szText : "";
  if (sText.size() > static_cast<size_t>(PROCESS_IMAGE_MAX_PATH)) {
    sText.resize(PROCESS_IMAGE_MAX_PATH);
  }
  return sText;
}

}  // namespace

CProcessImage::CProcessImage(const char* szFullPath, const char* szBaseName, uint32_t uPid)
    : m_sFullPath(Bounded(szFullPath)), m_sBaseTitle(Bounded(szBaseName)), m_uPid(uPid) {
  const size_t uDot = m_sBaseTitle.find('.');
  if (uDot != std::string::npos) m_sBaseTitle.resize(uDot);
  m_iBaseTitleLength = static_cast<int>(m_sBaseTitle.size());
}

}  // namespace wdx
