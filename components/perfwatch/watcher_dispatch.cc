// The automation table of the Watcher class.
#include "components/perfwatch/watcher.h"

namespace wdx {

std::vector<SDispMethod> CWatcher::GetDispatchTable() {
  return {DispMethod(1, "Reinitialize", this, &CWatcher::Reinitialize),
          DispMethod(2, "ReadAllCounters", this, &CWatcher::ReadAllCounters),
          DispMethod(3, "GetDeltaByIndex", this, &CWatcher::GetDeltaByIndex),
          DispMethod(4, "AllDeltasArePositive", this, &CWatcher::AllDeltasArePositive),
          DispMethod(5, "AddKey", this, &CWatcher::AddKey),
          DispMethod(6, "IsReady", this, &CWatcher::IsReady),
          DispMethod(7, "GetCounterVal", this, &CWatcher::GetCounterVal),
          DispMethod(8, "GetSampleResult", this, &CWatcher::GetSampleResult),
          DispMethod(9, "SetSamplePeriod", this, &CWatcher::SetSamplePeriod),
          DispMethod(10, "UpdateInstanceCount", this, &CWatcher::UpdateInstanceCount),
          DispMethod(11, "GetFirstFailure", this, &CWatcher::GetFirstFailure)};
}

}  // namespace wdx
