// The operations thread's metrics file: the snapshot of the thread's state after a cycle.
#include <chrono>

#include "service/host/thread_owner.h"
#include "service/ops/ops_mngr_thread.h"
#include "service/settings/all_sets.h"

namespace wdx {

void COpsMngrThread::WriteMetrics(bool bCycleEnded) {
  // The setting is read afresh with the others when GO mode starts.
  m_oMetrics.SetPath(m_pSettings->m_oStrMetricsFile.c_str());
  if (m_oMetrics.GetPath().empty()) return;
  if (bCycleEnded) {
    const auto oNow = std::chrono::system_clock::now();
    m_dLastCycleEnd = std::chrono::duration<double>(oNow.time_since_epoch()).count();
    m_dLastCycleSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - m_oCycleStart).count();
  }
  SMetricsSnapshot oSnapshot;
  oSnapshot.iOpsState = m_pOwner->m_iOpsState;
  oSnapshot.bGoMode = m_pOwner->m_bGoLoopActive;
  oSnapshot.iServerState = m_pSettings->m_iLastKnownServerState;
  for (const int iType : {ITEM_LOCAL_URL, ITEM_REMOTE_URL, ITEM_PROGRAM}) {
    for (const CItem* pItem : m_oItems.GetItems(iType)) {
      const int iState = pItem->GetLoggedState();
      if (iState == ITEM_UNKNOWN) continue;
      oSnapshot.oItems.push_back({iType, pItem->GetName(), iState == ITEM_UP});
    }
  }
  oSnapshot.iRestarts = m_iRestartsDone;
  oSnapshot.iReboots = m_iRebootsDone;
  oSnapshot.dCycleEnd = m_dLastCycleEnd;
  oSnapshot.dCycleSeconds = m_dLastCycleSeconds;
  m_oMetrics.Write(oSnapshot);
}

}  // namespace wdx
