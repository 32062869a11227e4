#include "components/safehand/actor.h"

#include <string>

namespace wdx {
namespace {

using safehand::ActTrace;
using safehand::CThreadOwner;

void Answer(int32_t* plResult, bool bTrue) {
  if (plResult != nullptr) *plResult = bTrue ? -1 : 0;
}

}  // namespace

CActor::~CActor() {
  ActTrace("Safehand::FinalRelease()");
  CThreadOwner::Dispose(std::move(m_pOwner));
}

HRESULT CActor::SetAct1(const CVariant& pvCommand, const CVariant& pvWait,
                        const CVariant& pvShowWin, const CVariant& pvTimeoutMs,
                        int32_t* plngResult) {
  std::lock_guard<std::recursive_mutex> oGuard(m_oLock);
  Answer(plngResult, false);
  CVariant vCommand = pvCommand;
  if (vCommand.GetType() != VT_BSTR && !vCommand.ChangeTypeToString()) return E_FAIL;
  // A second configuration replaces the first: its worker is ended first.
  CThreadOwner::Dispose(std::move(m_pOwner));
  m_bCreated = false;
  m_bArmed = false;
  auto pOwner = std::make_unique<CThreadOwner>();
  if (!pOwner->Initialize()) {
    ActTrace("Safehand::SetAct1() the thread owner failed to initialize.");
    CThreadOwner::Dispose(std::move(pOwner));
    return S_OK;
  }
  pOwner->SetCommand(vCommand.GetString());
  pOwner->m_lTimeoutMs = pvTimeoutMs.GetInt32();
  pOwner->m_bWait = static_cast<int16_t>(pvWait.GetInt32()) != 0;
  pOwner->m_bShowWindow = static_cast<int16_t>(pvShowWin.GetInt32()) != 0;
  m_pOwner = std::move(pOwner);
  m_bCreated = true;
  Answer(plngResult, true);
  return S_OK;
}

HRESULT CActor::Go(int32_t* plngResult) {
  std::lock_guard<std::recursive_mutex> oGuard(m_oLock);
  ActTrace("Insurer:: Go() 0. ");
  Answer(plngResult, false);
  if (!m_bCreated || !m_pOwner) return S_OK;
  if (m_bArmed && !StopLocked()) {
    ActTrace("Insurer:: Go() cannot stop a previous run. ");
    return S_OK;
  }
  ActTrace("Insurer:: Go() ");
  if (!m_pOwner->RestartActionThread()) return S_OK;
  m_bArmed = true;
  Answer(plngResult, true);
  return S_OK;
}

bool CActor::StopLocked() {
  ActTrace("Insurer:: Stop() ");
  if (!m_bCreated || !m_pOwner) {
    ActTrace("Insurer:: Stop() failed.");
    return false;
  }
  if (!m_pOwner->ResetActionsAndGoIdle()) {
    ActTrace("Insurer:: Stop() failed.");
    return false;
  }
  m_bArmed = false;
  return true;
}

HRESULT CActor::Stop(int32_t* plngResult) {
  std::lock_guard<std::recursive_mutex> oGuard(m_oLock);
  Answer(plngResult, StopLocked());
  return S_OK;
}

HRESULT CActor::ZuvEndThreads(int32_t* plngResult) {
  std::lock_guard<std::recursive_mutex> oGuard(m_oLock);
  ActTrace("Insurer:: ZuvEndThreads() ");
  Answer(plngResult, false);
  if (!m_pOwner) return S_OK;  // no worker was ever made
  if (!m_pOwner->KillAllThreads()) {
    ActTrace("Insurer:: ZuvEndThreads() failed.");
    return S_OK;
  }
  m_bArmed = false;
  Answer(plngResult, true);
  return S_OK;
}

}  // namespace wdx
