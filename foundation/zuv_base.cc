#include "foundation/zuv_base.h"

#include <string>

#include "foundation/process_log.h"
#include "platform/clock.h"
#include "platform/debug_output.h"
#include "platform/named_lock.h"

namespace wdx {
namespace {

constexpr int kDefaultLockWaitMs = 5000;

// The two spellings of the lock's texts: with and without the wait argument.
struct SLockTexts {
  const char* m_szPrefix;
  const char* m_szFailed;
};

constexpr SLockTexts kWithArgument = {"CZuvBase::Lock(iMaxWaitInMilliseconds)",
                                      "CZuvBase::Lock( int iMilliseconds )  failed."};
constexpr SLockTexts kWithoutArgument = {"CZuvBase::Lock()", "CZuvBase::Lock() failed."};

void ReportLock(const SLockTexts& oTexts, const char* szRest) {
  const std::string sText = std::string(oTexts.m_szPrefix) + szRest;
  ZuvLogError(sText.c_str());
}

}  // namespace

CZuvBase::CZuvBase() = default;

CZuvBase::CZuvBase(const char* szLabel) : CZuvStr(szLabel) {}

CZuvBase::~CZuvBase() {
  // A destroyed object never looks live; the lock handle closes with m_pMutex.
  m_iObjectId = 0;
  m_iObjectIdCopy = 0;
}

void CZuvBase::SetId(int iId) {
  m_iObjectId = iId;
  m_iObjectIdCopy = iId;
}

bool CZuvBase::IsLive() const {
  if (m_iObjectId == m_iObjectIdCopy && m_iObjectId != 0) return true;
  ZuvLogError("CZuvBase::ObjectId is invalid.");
  return false;
}

std::unique_ptr<INamedLock> CZuvBase::OpenNamedLock(const std::string& sName) {
  return CreateNamedLock(sName);
}

bool CZuvBase::Lock() {
  return LockWith(kDefaultLockWaitMs, false);
}

bool CZuvBase::Lock(int iMaxWaitInMilliseconds) {
  return LockWith(iMaxWaitInMilliseconds, true);
}

bool CZuvBase::LockWith(int iMaxWaitInMilliseconds, bool bWithArgument) {
  const SLockTexts& oTexts = bWithArgument ? kWithArgument : kWithoutArgument;
  if (m_bLocked) {
    const std::string sRest = std::string(" called for mutex named '") + GetBuffer() +
                              "' already has been locked by another.";
    ReportLock(oTexts, sRest.c_str());
    return false;
  }
  if (IsEmpty()) {
    ReportLock(oTexts, " called m_oStrMutexName empty.");
    return false;
  }
  if (!m_pMutex) {
    m_pMutex = OpenNamedLock(GetBuffer());
    if (!m_pMutex) {
      ReportLock(oTexts, " cannot create Mutex.");
      return false;
    }
    m_bMutexCreated = true;
  }
  for (int iAttempt = 0; iAttempt < m_iRetries; ++iAttempt) {
    const ELockWait eResult = m_pMutex->Wait(iMaxWaitInMilliseconds);
    if (eResult == ELockWait::ACQUIRED || eResult == ELockWait::ABANDONED) {
      m_bLocked = true;
      return true;
    }
    if (eResult == ELockWait::TIMEOUT) ReportLock(oTexts, " TIMEOUT.");
  }
  ZuvLogError(oTexts.m_szFailed);
  return false;
}

bool CZuvBase::UnLock() {
  if (IsEmpty() || !m_pMutex) {
    m_bLocked = false;
    return true;
  }
  if (m_pMutex->Release()) {
    m_bLocked = false;
    return true;
  }
  ZuvLogError("CZuvBase::UnLock() failed.");
  return false;
}

bool CZuvBase::UnLock(int iMaxRetries) {
  if (IsEmpty() || !m_pMutex) return true;
  for (int iAttempt = 0; iAttempt < iMaxRetries; ++iAttempt) {
    if (m_pMutex->Release()) {
      m_bLocked = false;
      return true;
    }
    GetClock().SleepMs(10);
  }
  DebugOutput("CZuvBase::UnLock( iMaxRetries ) failed.");
  return false;
}

}  // namespace wdx
