// CActor: the object behind the Actor class of the action component. It owns the thread owner
// (created by SetAct1) and the armed flag, and answers the IActor methods; every method holds
// the object lock for its whole body and succeeds, its outcome is the out-value. Before SetAct1
// Go and Stop answer 0. A second SetAct1 ends the first owner's worker before it replaces the
// owner. Go after ZuvEndThreads starts a fresh worker. The final release ends the worker.
//
// Threading: free-threaded; calls from any threads are serialised by the object lock, and a Go
// or Stop may block its caller for up to 120 s while a command runs.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "components/safehand/action_thread.h"
#include "components/safehand/iactor.h"
#include "platform/component_module.h"
#include "platform/dispatch_object.h"

namespace wdx {

// IActor with its identifier, as the object template finds interfaces.
class IActorEntry : public IActor {
 public:
  static constexpr const char* kIid = IID_IActor;
};

class CActor final : public CComObject<CActor, IActorEntry, CDispatchEntry<CActor>> {
 public:
  CActor() = default;
  ~CActor() override;

  HRESULT SetAct1(const CVariant& pvCommand, const CVariant& pvWait, const CVariant& pvShowWin,
                  const CVariant& pvTimeoutMs, int32_t* plngResult) override;
  HRESULT Go(int32_t* plngResult) override;
  HRESULT Stop(int32_t* plngResult) override;
  HRESULT ZuvEndThreads(int32_t* plngResult) override;

  // The automation table: the IActor methods by name, dispatch identifiers 1-4.
  std::vector<SDispMethod> GetDispatchTable();

  // For tests and diagnostics.
  bool IsArmed() const { return m_bArmed; }
  safehand::CThreadOwner* GetOwner() const { return m_pOwner.get(); }

 private:
  bool StopLocked();

  std::recursive_mutex m_oLock;
  std::unique_ptr<safehand::CThreadOwner> m_pOwner;
  bool m_bCreated = false;
  bool m_bArmed = false;
};

}  // namespace wdx
