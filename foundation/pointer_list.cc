#include "foundation/pointer_list.h"

#include <new>
#include <utility>

#include "foundation/process_log.h"

namespace wdx {

CPointerList::~CPointerList() {
  RemoveAll();
}

bool CPointerList::AppendLink(void* pValue) {
  std::unique_ptr<SLink> pNew(new (std::nothrow) SLink);
  if (!pNew) {
    ZuvLogError("CPointerList::AppendLink is out of memory");
    return false;
  }
  if (m_iCount < 0) m_iCount = 0;
  pNew->m_pValue = pValue;
  pNew->m_pPrev = m_pTail;
  SLink* pLink = pNew.get();
  if (m_pTail == nullptr) {
    m_pHead = std::move(pNew);
  } else {
    m_pTail->m_pNext = std::move(pNew);
  }
  m_pTail = pLink;
  m_pCursor = pLink;
  m_pCurrent = pValue;
  ++m_iCount;
  return true;
}

bool CPointerList::InsertLink(void* pValue) {
  if (!m_pHead || m_bEndOfWalk) return AppendLink(pValue);
  std::unique_ptr<SLink> pNew(new (std::nothrow) SLink);
  if (!pNew) {
    ZuvLogError("CPointerList::InsertLink is out of memory");
    return false;
  }
  SLink* pBefore = m_pCursor != nullptr ? m_pCursor : m_pTail;
  pNew->m_pValue = pValue;
  pNew->m_pPrev = pBefore->m_pPrev;
  std::unique_ptr<SLink>& rOwner = OwnerOf(pBefore);
  pNew->m_pNext = std::move(rOwner);
  pBefore->m_pPrev = pNew.get();
  rOwner = std::move(pNew);
  m_pCursor = rOwner.get();
  m_pCurrent = pValue;
  ++m_iCount;
  return true;
}

void* CPointerList::GetFirst() {
  m_pCursor = m_pHead.get();
  if (m_pCursor == nullptr) {
    m_bEndOfWalk = true;
    m_pCurrent = nullptr;
    return nullptr;
  }
  m_bEndOfWalk = false;
  m_pCurrent = m_pCursor->m_pValue;
  return m_pCurrent;
}

void* CPointerList::GetNext() {
  m_pCursor = m_pCursor != nullptr ? m_pCursor->m_pNext.get() : nullptr;
  if (m_pCursor == nullptr) {
    m_bEndOfWalk = true;
    m_pCurrent = nullptr;
    return nullptr;
  }
  m_pCurrent = m_pCursor->m_pValue;
  return m_pCurrent;
}

bool CPointerList::Contains(const SLink* pLink) const {
  for (const SLink* p = m_pHead.get(); p != nullptr; p = p->m_pNext.get()) {
    if (p == pLink) return true;
  }
  return false;
}

std::unique_ptr<CPointerList::SLink>& CPointerList::OwnerOf(SLink* pLink) {
  return pLink->m_pPrev != nullptr ? pLink->m_pPrev->m_pNext : m_pHead;
}

bool CPointerList::RemoveLink(SLink* pLink) {
  if (pLink == nullptr || !Contains(pLink) || pLink->m_iMarker != ZUV_LINK_MARKER) {
    ZuvLogError("CPointerList::RemoveLink was given a link that is not in the list.");
    return false;
  }
  Unlink(pLink);
  return true;
}

void CPointerList::Unlink(SLink* pLink) {
  SLink* pPrev = pLink->m_pPrev;
  SLink* pNext = pLink->m_pNext.get();
  if (m_pCursor == pLink) {
    m_pCursor = pPrev != nullptr ? pPrev : pNext;
    m_pCurrent = m_pCursor != nullptr ? m_pCursor->m_pValue : nullptr;
  }
  if (m_pTail == pLink) m_pTail = pPrev;
  if (pNext != nullptr) pNext->m_pPrev = pPrev;
  std::unique_ptr<SLink>& rOwner = OwnerOf(pLink);
  std::unique_ptr<SLink> pGone = std::move(rOwner);
  rOwner = std::move(pGone->m_pNext);
  pGone->m_iMarker = 0;
  pGone.reset();
  if (m_iCount > 0) --m_iCount;
}

bool CPointerList::RemoveTail() {
  if (m_pTail == nullptr) return false;
  Unlink(m_pTail);
  return true;
}

bool CPointerList::RemoveAll() {
  if (!m_pHead) return false;
  // Unlink one at a time so that a long chain is not freed recursively.
  while (m_pHead) {
    std::unique_ptr<SLink> pGone = std::move(m_pHead);
    m_pHead = std::move(pGone->m_pNext);
    pGone->m_iMarker = 0;
  }
  m_pTail = nullptr;
  m_pCursor = nullptr;
  m_pCurrent = nullptr;
  m_iCount = 0;
  return true;
}

}  // namespace wdx
