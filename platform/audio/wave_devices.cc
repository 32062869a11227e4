#include "platform/audio/wave_devices.h"

#include <map>
#include <mutex>

namespace wdx {
namespace {

struct STable {
  std::mutex m_oLock;
  uint32_t m_uNextId = 1;
  std::map<uint32_t, std::shared_ptr<IWaveOutDevice>> m_oOuts;
  std::map<uint32_t, std::shared_ptr<IWaveInDevice>> m_oIns;
};

STable& GetTable() {
  static STable oTable;
  return oTable;
}

template <class TDevice>
uint32_t AddTo(std::map<uint32_t, std::shared_ptr<TDevice>>& oMap, std::shared_ptr<TDevice> pDevice) {
  if (!pDevice) return 0;
  STable& oTable = GetTable();
  const uint32_t uId = oTable.m_uNextId++;
  oMap[uId] = std::move(pDevice);
  return uId;
}

template <class TDevice>
std::shared_ptr<TDevice> FindIn(const std::map<uint32_t, std::shared_ptr<TDevice>>& oMap,
                                uint32_t uId) {
  const auto it = oMap.find(uId);
  return it == oMap.end() ? nullptr : it->second;
}

template <class TDevice>
HRESULT Query(const std::shared_ptr<TDevice>& pDevice, const SWaveFormat& oFormat) {
  if (!pDevice) return MMSYSERR_BADDEVICEID;
  return pDevice->SupportsFormat(oFormat) ? S_OK : WAVERR_BADFORMAT;
}

}  // namespace

uint32_t CWaveDeviceTable::AddWaveOut(std::shared_ptr<IWaveOutDevice> pDevice) {
  std::lock_guard<std::mutex> oGuard(GetTable().m_oLock);
  return AddTo(GetTable().m_oOuts, std::move(pDevice));
}

uint32_t CWaveDeviceTable::AddWaveIn(std::shared_ptr<IWaveInDevice> pDevice) {
  std::lock_guard<std::mutex> oGuard(GetTable().m_oLock);
  return AddTo(GetTable().m_oIns, std::move(pDevice));
}

void CWaveDeviceTable::RemoveWaveOut(uint32_t uId) {
  std::shared_ptr<IWaveOutDevice> pGone;  // destroyed outside the lock
  std::lock_guard<std::mutex> oGuard(GetTable().m_oLock);
  auto& oMap = GetTable().m_oOuts;
  if (const auto it = oMap.find(uId); it != oMap.end()) {
    pGone = std::move(it->second);
    oMap.erase(it);
  }
}

void CWaveDeviceTable::RemoveWaveIn(uint32_t uId) {
  std::shared_ptr<IWaveInDevice> pGone;
  std::lock_guard<std::mutex> oGuard(GetTable().m_oLock);
  auto& oMap = GetTable().m_oIns;
  if (const auto it = oMap.find(uId); it != oMap.end()) {
    pGone = std::move(it->second);
    oMap.erase(it);
  }
}

HRESULT CWaveDeviceTable::WaveOutQueryFormat(uint32_t uId, const SWaveFormat& oFormat) {
  return Query(FindWaveOut(uId), oFormat);
}

HRESULT CWaveDeviceTable::WaveInQueryFormat(uint32_t uId, const SWaveFormat& oFormat) {
  return Query(FindWaveIn(uId), oFormat);
}

std::shared_ptr<IWaveOutDevice> CWaveDeviceTable::FindWaveOut(uint32_t uId) {
  std::lock_guard<std::mutex> oGuard(GetTable().m_oLock);
  return FindIn(GetTable().m_oOuts, uId);
}

std::shared_ptr<IWaveInDevice> CWaveDeviceTable::FindWaveIn(uint32_t uId) {
  std::lock_guard<std::mutex> oGuard(GetTable().m_oLock);
  return FindIn(GetTable().m_oIns, uId);
}

}  // namespace wdx
