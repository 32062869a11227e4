// CWatcher: the object behind the Watcher class of the performance watcher component. It owns
// the sampler (CPW, created by Reinitialize), the component's own event log "Stats.log" (bound
// as the library's current log by the instance whose count is 1) and the instance count, and
// answers the IWatcher methods: every method succeeds, its outcome is the out-value.
// Before the first Reinitialize there is no sampler: AddKey, ReadAllCounters, GetDeltaByIndex,
// AllDeltasArePositive, IsReady, GetCounterVal and GetSampleResult answer 0, SetSamplePeriod is
// ignored and GetFirstFailure answers "".
//
// Threading: apartment model; each caller uses its own Watcher from one thread.
#pragma once

#include <memory>
#include <vector>

#include "components/perfwatch/iwatcher.h"
#include "components/perfwatch/pw.h"
#include "foundation/log_file.h"
#include "platform/component_module.h"
#include "platform/dispatch_object.h"

namespace wdx {

// IWatcher with its identifier, as the object template finds interfaces.
class IWatcherEntry : public IWatcher {
 public:
  static constexpr const char* kIid = IID_IWatcher;
};

class CWatcher final : public CComObject<CWatcher, IWatcherEntry, CDispatchEntry<CWatcher>> {
 public:
  CWatcher();
  ~CWatcher() override;

  HRESULT Reinitialize(const CVariant& vLogDirectory, int32_t* plResult) override;
  HRESULT ReadAllCounters(int32_t* plResult) override;
  HRESULT GetDeltaByIndex(const CVariant& vIndex, CVariant* pvDelta) override;
  HRESULT AllDeltasArePositive(int32_t* plResult) override;
  HRESULT AddKey(const CVariant& vNewKey, int32_t* plResult) override;
  HRESULT IsReady(int32_t* plReady) override;
  HRESULT GetCounterVal(const CVariant& vName, int32_t* plResult) override;
  HRESULT GetSampleResult(const CVariant& vSampleSeconds, int32_t* plResult) override;
  HRESULT SetSamplePeriod(const CVariant& vSamplePeriod) override;
  HRESULT UpdateInstanceCount(const CVariant& vInstance, int32_t* plResult) override;
  HRESULT GetFirstFailure(CVariant* pvResult) override;

  // The automation table: the IWatcher methods by name, dispatch identifiers 1-11.
  std::vector<SDispMethod> GetDispatchTable();

  // The sampler (nullptr before Reinitialize), for tests and diagnostics.
  CPW* GetSampler() const { return m_pSampler.get(); }

 private:
  void StartStatsLog(const std::string& sDirectory);
  bool IsSamplerLive() const { return m_pSampler != nullptr && m_pSampler->IsLive(); }

  std::unique_ptr<CPW> m_pSampler;
  std::unique_ptr<CLogFile> m_pLog;
  int32_t m_lInstanceCount = 0;
};

}  // namespace wdx
