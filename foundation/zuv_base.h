// CZuvBase: base of the foundation objects. Its text is the object's label (for its lock, the
// name of the named lock); it carries a liveness identifier so that a destroyed or
// uninitialised object never looks live, and a named lock shared across threads and processes
// (see platform/named_lock.h) with waits, retries and "owner died" semantics.
//
// Threading: one object is used by one thread at a time; objects of the same lock name in
// different threads or processes exclude one another.
#pragma once

#include <memory>
#include <string>

#include "foundation/zuv_str.h"

namespace wdx {

class INamedLock;

inline constexpr int ZUV_ID_LIVE = 1001;

class CZuvBase : public CZuvStr {
 public:
  CZuvBase();
  explicit CZuvBase(const char* szLabel);
  CZuvBase(const CZuvBase&) = delete;
  CZuvBase& operator=(const CZuvBase&) = delete;
  ~CZuvBase() override;

  void SetId(int iId);
  virtual bool IsLive() const;

  // Takes the named lock (the label is its name), waiting 5000 ms per attempt, 3 attempts.
  bool Lock();
  bool Lock(int iMaxWaitInMilliseconds);
  bool UnLock();
  bool UnLock(int iMaxRetries);
  bool IsLocked() const { return m_bLocked; }

 protected:
  // Opens the named lock on the first Lock; tests override it to supply a fake lock.
  virtual std::unique_ptr<INamedLock> OpenNamedLock(const std::string& sName);

  int m_iObjectId = ZUV_ID_LIVE;
  int m_iObjectIdCopy = ZUV_ID_LIVE;

 private:
  bool LockWith(int iMaxWaitInMilliseconds, bool bWithArgument);

  std::unique_ptr<INamedLock> m_pMutex;
  int m_iRetries = 3;
  bool m_bMutexCreated = false;
  bool m_bLocked = false;
};

}  // namespace wdx
