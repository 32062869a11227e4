// CFakeWatcher: an IWatcher for tests of the watcher client and the process watch. It keeps the
// keys it is given (refusing those past its limit, 40 like the real component), answers the
// activity test with a result the test sets, and records the arguments of every call.
//
// Threading: one test thread.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "components/perfwatch/iwatcher.h"

namespace wdx {

class CFakeWatcher final : public IWatcher {
 public:
  CFakeWatcher() = default;
  CFakeWatcher(const CFakeWatcher&) = delete;
  CFakeWatcher& operator=(const CFakeWatcher&) = delete;
  ~CFakeWatcher() override = default;

  HRESULT QueryInterface(const char* szIid, void** ppOut) override {
    if (ppOut == nullptr) return E_POINTER;
    *ppOut = nullptr;
    if (!IsSameGuid(szIid, IID_IUnknown) && !IsSameGuid(szIid, IID_IWatcher)) {
      return E_NOINTERFACE;
    }
    *ppOut = static_cast<IWatcher*>(this);
    AddRef();
    return S_OK;
  }
  // The object lives on the test's stack: the count is only watched, never frees it.
  uint32_t AddRef() override { return ++m_uRefs; }
  uint32_t Release() override { return --m_uRefs; }

  HRESULT Reinitialize(const CVariant& vLogDirectory, int32_t* plResult) override {
    m_sLogDirectory = vLogDirectory.GetString();
    *plResult = -1;
    return S_OK;
  }
  HRESULT ReadAllCounters(int32_t* plResult) override { return Answer(plResult, -1); }
  HRESULT GetDeltaByIndex(const CVariant&, CVariant* pvDelta) override {
    *pvDelta = CVariant(static_cast<int32_t>(0));
    return S_OK;
  }
  HRESULT AllDeltasArePositive(int32_t* plResult) override { return Answer(plResult, -1); }
  HRESULT AddKey(const CVariant& vNewKey, int32_t* plResult) override {
    if (static_cast<int>(m_oKeys.size()) >= m_iKeyLimit) return Answer(plResult, 0);
    m_oKeys.push_back(vNewKey.GetString());
    return Answer(plResult, -1);
  }
  HRESULT IsReady(int32_t* plReady) override { return Answer(plReady, -1); }
  HRESULT GetCounterVal(const CVariant&, int32_t* plResult) override { return Answer(plResult, 0); }
  HRESULT GetSampleResult(const CVariant& vSampleSeconds, int32_t* plResult) override {
    m_iSampleSeconds = vSampleSeconds.GetInt32();
    ++m_iSampleCalls;
    return Answer(plResult, m_lSampleResult);
  }
  HRESULT SetSamplePeriod(const CVariant& vSamplePeriod) override {
    m_iSamplePeriod = vSamplePeriod.GetInt32();
    return S_OK;
  }
  HRESULT UpdateInstanceCount(const CVariant& vInstance, int32_t* plResult) override {
    m_iInstance = vInstance.GetInt32();
    return Answer(plResult, -1);
  }
  HRESULT GetFirstFailure(CVariant* pvResult) override {
    *pvResult = CVariant(m_sFirstFailure);
    return S_OK;
  }

  std::vector<std::string> m_oKeys;
  int m_iKeyLimit = 40;
  int32_t m_lSampleResult = -1;
  int m_iSamplePeriod = -1;
  int m_iSampleSeconds = -1;
  int m_iSampleCalls = 0;
  int m_iInstance = 0;
  std::string m_sLogDirectory;
  std::string m_sFirstFailure;
  std::atomic<uint32_t> m_uRefs{1};

 private:
  static HRESULT Answer(int32_t* plResult, int32_t lValue) {
    if (plResult == nullptr) return E_POINTER;
    *plResult = lValue;
    return S_OK;
  }
};

}  // namespace wdx
