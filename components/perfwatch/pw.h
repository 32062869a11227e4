// CPW: the sampler of the performance watcher. It holds up to 40 counter paths ("keys"), opens
// one counter query for them at the first sampling call and answers single reads, deltas between
// reads and the activity test: has every key shown a positive value within the sample time?
// The key set is fixed once the query is open; the owner re-creates the sampler for a new set.
//
// Threading: one object is used by one thread at a time (its Watcher's caller).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "foundation/array_str.h"
#include "foundation/zuv_base.h"
#include "platform/perf_counters.h"

namespace wdx {

inline constexpr int PW_MAX_KEYS = 40;
inline constexpr int PW_MAX_KEY_LENGTH = 255;
inline constexpr uint32_t PW_DEFAULT_SAMPLE_SECONDS = 20;
inline constexpr int PW_DEFAULT_SAMPLE_PERIOD_MS = 50;

class CPW final : public CZuvBase {
 public:
  using QueryFactory = std::function<std::unique_ptr<ICounterQuery>()>;

  // The factory opens the counter query (the real /proc query unless a test supplies another).
  explicit CPW(QueryFactory fnOpenQuery = OpenCounterQuery);
  ~CPW() override = default;

  bool AddKey(const char* szPath);
  bool IsLive() const override;
  bool ReadVals();
  int32_t GetVal(const char* szName);
  bool Activity();
  void ReportInactive();

  void SetSampleSeconds(uint32_t uSeconds) { m_uSampleSeconds = uSeconds; }
  // Periods below 1 ms are raised to 1.
  void SetSamplePeriod(int iMilliseconds) {
    m_iSamplePeriodMs = iMilliseconds < 1 ? 1 : iMilliseconds;
  }
  int GetSamplePeriod() const { return m_iSamplePeriodMs; }
  uint32_t GetSampleSeconds() const { return m_uSampleSeconds; }
  bool GetFlag() const { return m_bFlag; }
  bool IsQueryReady() const { return m_bQueryReady; }
  int GetKeyCount() const { return m_oKeys.IsInitialized() ? m_oKeys.GetUsedCount() : 0; }
  // The delta of a key after the last ReadVals; false when the key has no value holder.
  bool GetDelta(int iIndex, int32_t& lDelta) const;
  // The first key whose last value is 0 or less; "" when none or before any sampling.
  std::string GetFirstFailure();

 private:
  bool OpenQuery();
  bool ActivityPass(bool& bAborted);
  const char* KeyAt(int iIndex);

  bool m_bInitialized = false;
  CArrayStr m_oKeys;
  std::vector<CounterHandle> m_oHandles;
  std::vector<int32_t> m_oLastValues;
  std::vector<int32_t> m_oDeltas;
  bool m_bFlag = false;
  bool m_bQueryReady = false;
  QueryFactory m_fnOpenQuery;
  std::unique_ptr<ICounterQuery> m_pQuery;
  PDH_STATUS m_lLastStatus = PDH_CSTATUS_VALID_DATA;
  int32_t m_lCounterValue = 0;
  uint32_t m_uSampleSeconds = PW_DEFAULT_SAMPLE_SECONDS;
  int m_iSamplePeriodMs = PW_DEFAULT_SAMPLE_PERIOD_MS;
};

}  // namespace wdx
