// CPointerList: a doubly linked list of untyped pointers with a cursor for walking it. The list
// owns its links, never the objects they point to. GetFirst/GetNext walk from the head; running
// off the end returns nullptr and sets the end-of-walk flag.
//
// Threading: an object is used by one thread at a time; callers guard sharing.
#pragma once

#include <memory>

#include "foundation/zuv_base.h"

namespace wdx {

inline constexpr int ZUV_LINK_MARKER = 100001;

class CPointerList : public CZuvBase {
 public:
  struct SLink {
    int m_iMarker = ZUV_LINK_MARKER;  // 0 once removed
    void* m_pValue = nullptr;
    std::unique_ptr<SLink> m_pNext;
    SLink* m_pPrev = nullptr;
  };

  CPointerList() = default;
  ~CPointerList() override;

  // New link at the tail; it becomes the cursor.
  bool AppendLink(void* pValue);
  // New link before the cursor (before the tail when there is no cursor), which becomes the
  // cursor; appends when the list is empty or the last walk ran off its end.
  bool InsertLink(void* pValue);
  void* GetFirst();
  void* GetNext();
  // Unlinks and frees a link of this list; a cursor on it moves to the previous link (the next
  // when there is none). False with a report for a link not in this list.
  bool RemoveLink(SLink* pLink);
  bool RemoveTail();
  // False when the list was empty.
  bool RemoveAll();

  // Links counted so far: -1 before the first append, never below 0 afterwards.
  int GetCount() const { return m_iCount; }
  void* GetCurrent() const { return m_pCurrent; }
  SLink* GetCursorLink() const { return m_pCursor; }
  SLink* GetHeadLink() const { return m_pHead.get(); }
  SLink* GetTailLink() const { return m_pTail; }
  bool IsEndOfWalk() const { return m_bEndOfWalk; }
  bool IsListEmpty() const { return !m_pHead; }

 private:
  bool Contains(const SLink* pLink) const;
  void Unlink(SLink* pLink);
  // The owning pointer that holds pLink (the head or the previous link's next).
  std::unique_ptr<SLink>& OwnerOf(SLink* pLink);

  int m_iCount = -1;
  void* m_pCurrent = nullptr;
  std::unique_ptr<SLink> m_pHead;
  SLink* m_pCursor = nullptr;
  SLink* m_pTail = nullptr;
  bool m_bEndOfWalk = false;
};

}  // namespace wdx
