#include "foundation/array_str.h"

#include <cstring>
#include <new>

#include "foundation/process_log.h"

namespace wdx {
namespace {

// Tables larger than this are refused as out of memory instead of asking the allocator.
constexpr size_t kMaxStorageBytes = size_t{1} << 30;

}  // namespace

bool CArrayStr::Initialize(int iSize, int iStrLen, int iSpare) {
  SetId(ZUV_ID_ARRAY_STR);
  m_bInitialized = false;
  m_iCurrent = -1;
  m_iSpare = iSpare;
  if (iStrLen <= 0) {
    ZuvLogError("Problem: CArrayStr::Initialize recieved iStrLen <= 0.");
    ZuvLogError("CArrayStr::Initialize() failed.");
    return false;
  }
  const int iWidth = WidthFor(iStrLen);
  if (iSize <= 0) {
    ZuvLogError("Problem: CArrayStr::Initialize recieved iSize <= 0.");
    ZuvLogError("CArrayStr::Initialize() failed.");
    return false;
  }
  m_pStorage.reset();
  m_iSize = 0;
  const size_t uBytes = static_cast<size_t>(iSize) * static_cast<size_t>(iWidth);
  if (uBytes <= kMaxStorageBytes) m_pStorage.reset(new (std::nothrow) char[uBytes]);
  if (!m_pStorage) {
    ZuvLogError("CArrayStr::Initialize is out of RAM.");
    return false;
  }
  m_iSize = iSize;
  m_iWidth = iWidth;
  m_bInitialized = true;
  Clear();
  if (!m_bInitialized) ZuvLogError("CArrayStr::Initialize() failed.");
  return m_bInitialized;
}

bool CArrayStr::IsLive() const {
  if (!m_bInitialized) {
    ZuvLogError("CArrayStr::IsLive() Object is not initialized.");
    return false;
  }
  return CZuvBase::IsLive();
}

void CArrayStr::Clear() {
  if (!IsLive()) {
    m_bInitialized = false;
    return;
  }
  std::memset(m_pStorage.get(), 0, static_cast<size_t>(m_iSize) * static_cast<size_t>(m_iWidth));
  m_iHighest = -1;
  m_iNext = -1;
}

bool CArrayStr::RePosition(int iNdx) {
  if (iNdx < -1) {
    ZuvLogError("CArrayStr::RePosition() has NEGATIVE iNdx.");
    return false;
  }
  if (iNdx >= m_iSize) {
    ZuvLogError("CArrayStr::RePosition() has overflow iNdx.");
    return false;
  }
  m_iCurrent = iNdx;
  m_iNext = iNdx;
  return true;
}

char* CArrayStr::GetAt(int iIndex) {
  if (!IsLive() || iIndex < 0 || iIndex >= m_iSize) {
    m_iCurrent = -1;
    return nullptr;
  }
  m_iCurrent = iIndex;
  return m_pStorage.get() + static_cast<size_t>(iIndex) * static_cast<size_t>(m_iWidth);
}

bool CArrayStr::SetAt(int iIndex, const char* szText) {
  if (!IsLive()) return false;
  if (iIndex < 0 || iIndex >= m_iSize) {
    ZuvLogError("CArrayStr::SetAt() has out-of-range index.");
    return false;
  }
  char* pElement = GetAt(iIndex);
  const size_t uLength = szText == nullptr ? 0 : strnlen(szText, m_iWidth - 1);
  if (uLength > 0) std::memcpy(pElement, szText, uLength);
  pElement[uLength] = '\0';
  if (iIndex > m_iHighest) m_iHighest = iIndex;
  return true;
}

bool CArrayStr::SetNext(const char* szText) {
  if (!IsLive()) return false;
  if (m_iNext + 1 >= m_iSize) {
    ZuvLogError("CArrayStr::SetNext() overflow.");
    ZuvLogError("CArrayStr::SetNext() failed.");
    return false;
  }
  ++m_iNext;
  return SetAt(m_iNext, szText);
}

bool CArrayStr::SetFirst(const char* szText) {
  m_iNext = -1;
  return SetNext(szText);
}

}  // namespace wdx
