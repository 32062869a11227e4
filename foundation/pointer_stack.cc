#include "foundation/pointer_stack.h"

#include <new>

#include "foundation/process_log.h"

namespace wdx {
namespace {

// Stacks larger than this are refused as out of memory instead of asking the allocator.
constexpr int kMaxSlots = 1 << 26;

}  // namespace

bool CPointerStack::Initialize(int iSize) {
  m_bInitialized = false;
  m_pSlots.reset();
  m_iTop = -1;
  m_iCount = 0;
  m_iWalk = 0;
  m_iCapacity = iSize;
  if (iSize < 1) {
    m_iCapacity = 0;
    ZuvLogError("CPointerStack::Initialize() got zero SIZE passed in.");
    return false;
  }
  if (iSize <= kMaxSlots) m_pSlots.reset(new (std::nothrow) void*[iSize]());
  if (!m_pSlots) {
    m_iCapacity = 0;
    ZuvLogError("CPointerStack::Initialize() is out of RAM memory.");
    return false;
  }
  m_bInitialized = true;
  return true;
}

bool CPointerStack::EnsureInitialized(const char* szFailureText) {
  if (m_bInitialized) return true;
  if (Initialize(ZUV_DEFAULT_STACK_SIZE)) return true;
  ZuvLogError(szFailureText);
  return false;
}

bool CPointerStack::Push(void* pValue) {
  if (!EnsureInitialized("CPointerStack::Push() default Initialize failed.")) return false;
  if (m_iTop + 1 >= m_iCapacity) {
    ZuvLogError("CPointerStack::Push() cannot. Stack limit reached.");
    return false;
  }
  ++m_iTop;
  m_pSlots[m_iTop] = pValue;
  m_iCount = m_iTop + 1;
  m_pLast = pValue;
  return true;
}

void* CPointerStack::Pop() {
  if (!EnsureInitialized("CPointerStack::Pop() default Initialize failed.")) return nullptr;
  if (m_iTop < 0) return nullptr;
  m_pLast = m_pSlots[m_iTop];
  m_pSlots[m_iTop] = nullptr;
  --m_iTop;
  m_iCount = m_iTop + 1;
  return m_pLast;
}

int CPointerStack::GetCount() {
  if (!EnsureInitialized("CPointerStack::GetCount() default Initialize failed.")) return 0;
  return m_iTop + 1;
}

void* CPointerStack::GetPointer(int iIndex) {
  if (m_iTop < 0) {
    ZuvLogError("CPointerStack::GetPointer has empty stack.");
    return nullptr;
  }
  if (iIndex < 0 || iIndex > m_iTop) {
    ZuvLogError("CPointerStack::GetPointer got an out-of-range request.");
    return nullptr;
  }
  m_pLast = m_pSlots[iIndex];
  return m_pLast;
}

void* CPointerStack::GetFirst() {
  m_iWalk = 0;
  if (m_iCount < 1 || m_iCapacity < 1) return nullptr;
  m_pLast = m_pSlots[0];
  return m_pLast;
}

void* CPointerStack::GetNext() {
  if (m_iWalk <= m_iTop) ++m_iWalk;
  if (m_iWalk > m_iTop) return nullptr;
  m_pLast = m_pSlots[m_iWalk];
  return m_pLast;
}

}  // namespace wdx
