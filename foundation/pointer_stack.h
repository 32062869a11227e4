// CPointerStack: a bounded stack of untyped pointers (it owns its slots, not the objects). Used
// without Initialize it sets itself up with 4096 slots on the first Push, Pop or GetCount.
// GetFirst/GetNext walk from the bottom (index 0) upwards.
//
// Threading: an object is used by one thread at a time; callers guard sharing.
#pragma once

#include <memory>

#include "foundation/zuv_base.h"

namespace wdx {

inline constexpr int ZUV_DEFAULT_STACK_SIZE = 4096;

class CPointerStack final : public CZuvBase {
 public:
  CPointerStack() = default;
  ~CPointerStack() override = default;

  // Discards the content and makes iSize empty slots.
  bool Initialize(int iSize);
  // False with a report when the stack is full.
  bool Push(void* pValue);
  // The top value (its slot is cleared), nullptr when empty.
  void* Pop();
  int GetCount();
  // The value at iIndex (0 = bottom), nullptr with a report when empty or out of range.
  void* GetPointer(int iIndex);
  void* GetFirst();
  void* GetNext();

  int GetWalkIndex() const { return m_iWalk; }
  int GetCapacity() const { return m_iCapacity; }
  // The last value pushed, popped or read by the walk.
  void* GetLast() const { return m_pLast; }
  bool IsInitialized() const { return m_bInitialized; }

 private:
  bool EnsureInitialized(const char* szFailureText);

  int m_iCapacity = 0;
  std::unique_ptr<void*[]> m_pSlots;
  int m_iTop = -1;
  int m_iCount = 0;
  void* m_pLast = nullptr;
  int m_iWalk = 0;
  bool m_bInitialized = false;
};

}  // namespace wdx
