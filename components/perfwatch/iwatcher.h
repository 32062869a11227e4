// IWatcher: the interface of the performance watcher component (library Perfwatch.so, class
// Watcher). It holds a list of counter paths ("keys"), samples them, and answers whether every
// key showed a positive value within a given time (the activity test), naming the first key that
// did not. Every method returns S_OK; its outcome is the out-value (-1 true, 0 false).
//
// Threading: each caller uses its own Watcher from one thread.
#pragma once

#include "platform/component.h"

namespace wdx {

inline constexpr const char* CLSID_Watcher = "{6F23E884-F7E1-4F0E-9D67-FCE0BC2A62A1}";
inline constexpr const char* IID_IWatcher = "{4592B63B-FAE4-4567-B018-B8C6773AA16D}";
inline constexpr const char* LIBID_Perfwatch = "{C1385E41-ECEC-42C3-9B8F-3F874935BCB0}";
inline constexpr const char* PROGID_Watcher = "Perfwatch.Watcher";
inline constexpr const char* PROGID_Watcher1 = "Perfwatch.Watcher.1";

class IWatcher : public IUnknown {
 public:
  virtual HRESULT Reinitialize(const CVariant& vLogDirectory, int32_t* plResult) = 0;
  virtual HRESULT ReadAllCounters(int32_t* plResult) = 0;
  virtual HRESULT GetDeltaByIndex(const CVariant& vIndex, CVariant* pvDelta) = 0;
  virtual HRESULT AllDeltasArePositive(int32_t* plResult) = 0;
  virtual HRESULT AddKey(const CVariant& vNewKey, int32_t* plResult) = 0;
  virtual HRESULT IsReady(int32_t* plReady) = 0;
  virtual HRESULT GetCounterVal(const CVariant& vName, int32_t* plResult) = 0;
  virtual HRESULT GetSampleResult(const CVariant& vSampleSeconds, int32_t* plResult) = 0;
  virtual HRESULT SetSamplePeriod(const CVariant& vSamplePeriod) = 0;
  virtual HRESULT UpdateInstanceCount(const CVariant& vInstance, int32_t* plResult) = 0;
  virtual HRESULT GetFirstFailure(CVariant* pvResult) = 0;
};

}  // namespace wdx
