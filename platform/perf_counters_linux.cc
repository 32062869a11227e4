// The /proc counter query. Cost model: a collection only stamps a new generation (and takes the
// first reading of a source that has none yet, so that the first rate is ready after two
// collections); the /proc file a counter needs is read when the counter is read, at most once
// per process and file per collection. Liveness is asked of a pidfd (one poll), which also pins
// the process that was found when the counter was added. A process of another user whose
// /proc/PID/io cannot be opened adds fine (the instance exists), but its IO counters read
// PDH_INVALID_DATA.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <strings.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/perf_counters.h"
#include "platform/proc_table.h"
#include "platform/unique_fd.h"

namespace wdx {
namespace {

enum class ECounter { kElapsed, kIoBytes, kIoOperations, kContextSwitches };

int64_t NowUs(clockid_t iClock) {
  timespec oNow{};
  ::clock_gettime(iClock, &oNow);
  return static_cast<int64_t>(oNow.tv_sec) * 1'000'000 + oNow.tv_nsec / 1000;
}

// One /proc file of one process and its last two readings (two values each).
struct SSource {
  CUniqueFd m_oFd;
  int m_iReadings = 0;
  uint64_t m_uGeneration = 0;
  int64_t m_aPrevious[2] = {0, 0};
  int64_t m_aCurrent[2] = {0, 0};
  int64_t m_iPreviousUs = 0;
  int64_t m_iCurrentUs = 0;
};

struct SProcess {
  int m_iPid = 0;
  CUniqueFd m_oPidFd;
  CUniqueFd m_oStatFd;  // liveness where pidfds are not available
  int64_t m_iStartTicks = 0;
  SSource m_oIo;
  SSource m_oStatus;
};

struct SCounter {
  ECounter m_eKind = ECounter::kElapsed;
  size_t m_uProcess = 0;
  int m_iCollections = 0;
};

bool EqualsNoCase(const std::string& sLeft, const char* szRight) {
  return ::strcasecmp(sLeft.c_str(), szRight) == 0;
}

// Splits "\\machine\Object(instance)\Counter" (the machine part may be left out: "\Object...").
PDH_STATUS SplitPath(const std::string& sPath, std::string& sObject, std::string& sInstance,
                     std::string& sCounter, bool& bHasInstance) {
  size_t uAt = 0;
  if (sPath.compare(0, 2, "\\\\") == 0) {
    uAt = sPath.find('\\', 2);
    if (uAt == std::string::npos || uAt == 2) return PDH_CSTATUS_BAD_COUNTERNAME;
  } else if (sPath.empty() || sPath[0] != '\\') {
    return PDH_CSTATUS_BAD_COUNTERNAME;
  }
  const std::string sRest = sPath.substr(uAt + 1);
  const size_t uOpen = sRest.find('(');
  const size_t uSlash = sRest.find('\\');
  if (uSlash == std::string::npos) return PDH_CSTATUS_BAD_COUNTERNAME;
  bHasInstance = uOpen != std::string::npos && uOpen < uSlash;
  size_t uCounterAt = uSlash + 1;
  if (bHasInstance) {
    const size_t uClose = sRest.find(')', uOpen);
    if (uClose == std::string::npos || uClose + 1 >= sRest.size() || sRest[uClose + 1] != '\\') {
      return PDH_CSTATUS_BAD_COUNTERNAME;
    }
    sInstance = sRest.substr(uOpen + 1, uClose - uOpen - 1);
    if (sInstance.empty() || sInstance.find('(') != std::string::npos) {
      return PDH_CSTATUS_BAD_COUNTERNAME;
    }
    sObject = sRest.substr(0, uOpen);
    uCounterAt = uClose + 2;
  } else {
    sObject = sRest.substr(0, uSlash);
  }
  sCounter = sRest.substr(uCounterAt);
  const auto bBad = [](const std::string& s) {
    return s.empty() || s.find_first_of("()\\") != std::string::npos;
  };
  if (bBad(sObject) || bBad(sCounter)) return PDH_CSTATUS_BAD_COUNTERNAME;
  return PDH_CSTATUS_VALID_DATA;
}

bool CounterKind(const std::string& sCounter, ECounter& eKind) {
  static constexpr struct {
    const char* m_szName;
    ECounter m_eKind;
  } kCounters[] = {{"Elapsed Time", ECounter::kElapsed},
                   {"IO Data Bytes/sec", ECounter::kIoBytes},
                   {"IO Data Operations/sec", ECounter::kIoOperations},
                   {"IO Other Operations/sec", ECounter::kContextSwitches}};
  for (const auto& oCounter : kCounters) {
    if (EqualsNoCase(sCounter, oCounter.m_szName)) {
      eKind = oCounter.m_eKind;
      return true;
    }
  }
  return false;
}

// Reads the whole small file at offset 0; false (errno kept) when the read fails.
bool ReadSmall(int iFd, char* szBuffer, size_t uSize, size_t& uLength) {
  const ssize_t iRead = ::pread(iFd, szBuffer, uSize - 1, 0);
  if (iRead <= 0) {
    if (iRead == 0) errno = ESRCH;
    return false;
  }
  uLength = static_cast<size_t>(iRead);
  szBuffer[uLength] = '\0';
  return true;
}

int64_t FieldAfter(const char* szText, const char* szLabel, bool& bFound) {
  const char* szAt = std::strstr(szText, szLabel);
  if (szAt == nullptr) {
    bFound = false;
    return 0;
  }
  return std::strtoll(szAt + std::strlen(szLabel), nullptr, 10);
}

// The process's start time in clock ticks after boot and its state, from /proc/PID/stat.
bool ParseStat(const char* szStat, int64_t& iStartTicks, char& cState) {
  const char* szAt = std::strrchr(szStat, ')');
  if (szAt == nullptr || szAt[1] != ' ') return false;
  cState = szAt[2];
  // Field 3 (the state) follows the space after ")"; the start time is field 22.
  for (int iField = 3; iField <= 22; ++iField) {
    szAt = std::strchr(szAt + 1, ' ');
    if (szAt == nullptr) return false;
  }
  iStartTicks = std::strtoll(szAt + 1, nullptr, 10);
  return true;
}

class CProcQuery final : public ICounterQuery {
 public:
  CProcQuery() = default;
  CProcQuery(const CProcQuery&) = delete;
  CProcQuery& operator=(const CProcQuery&) = delete;

  PDH_STATUS AddCounter(const std::string& sPath, CounterHandle& hCounter) override;
  PDH_STATUS Collect() override;
  PDH_STATUS GetLong(CounterHandle hCounter, int32_t& lValue) override;

 private:
  PDH_STATUS ProcessFor(const std::string& sInstance, size_t& uProcess);
  bool OpenProcess(int iPid, SProcess& oProcess);
  bool IsAlive(SProcess& oProcess);
  bool ReadSource(SSource& oSource, bool bStatus, int iPid);
  PDH_STATUS Rate(SProcess& oProcess, const SCounter& oCounter, int32_t& lValue);

  std::vector<SCounter> m_oCounters;
  std::vector<std::unique_ptr<SProcess>> m_oProcesses;
  std::vector<SProcEntry> m_oTable;  // kept from one add to the next until a collection
  bool m_bTableLoaded = false;
  uint64_t m_uGeneration = 0;
};

PDH_STATUS CProcQuery::AddCounter(const std::string& sPath, CounterHandle& hCounter) {
  std::string sObject, sInstance, sCounter;
  bool bHasInstance = false;
  const PDH_STATUS lSplit = SplitPath(sPath, sObject, sInstance, sCounter, bHasInstance);
  if (lSplit != PDH_CSTATUS_VALID_DATA) return lSplit;
  // No web server status page is configured for this layer: the object does not exist here.
  if (!EqualsNoCase(sObject, "Process")) return PDH_CSTATUS_NO_OBJECT;
  SCounter oCounter;
  if (!CounterKind(sCounter, oCounter.m_eKind)) return PDH_CSTATUS_NO_COUNTER;
  if (!bHasInstance) return PDH_CSTATUS_NO_INSTANCE;
  const PDH_STATUS lFound = ProcessFor(sInstance, oCounter.m_uProcess);
  if (lFound != PDH_CSTATUS_VALID_DATA) return lFound;
  SProcess& oProcess = *m_oProcesses[oCounter.m_uProcess];
  const auto iPidPath = "/proc/" + std::to_string(oProcess.m_iPid);
  if (oCounter.m_eKind == ECounter::kIoBytes || oCounter.m_eKind == ECounter::kIoOperations) {
    if (!oProcess.m_oIo.m_oFd.IsValid()) {
      oProcess.m_oIo.m_oFd.Reset(::open((iPidPath + "/io").c_str(), O_RDONLY | O_CLOEXEC));
    }
  } else if (oCounter.m_eKind == ECounter::kContextSwitches) {
    if (!oProcess.m_oStatus.m_oFd.IsValid()) {
      oProcess.m_oStatus.m_oFd.Reset(::open((iPidPath + "/status").c_str(), O_RDONLY | O_CLOEXEC));
    }
  }
  hCounter = static_cast<CounterHandle>(m_oCounters.size());
  m_oCounters.push_back(oCounter);
  return PDH_CSTATUS_VALID_DATA;
}

// Sum of voluntary and involuntary context switches over the threads of process iPid; false
// (errno ESRCH) when the process is gone.
bool SumTaskSwitches(int iPid, int64_t& iSum) {
  const std::string sTasks = "/proc/" + std::to_string(iPid) + "/task";
  std::unique_ptr<DIR, int (*)(DIR*)> pDir(::opendir(sTasks.c_str()), &::closedir);
  if (!pDir) {
    errno = ESRCH;
    return false;
  }
  iSum = 0;
  bool bAny = false;
  while (const dirent* pEntry = ::readdir(pDir.get())) {
    if (pEntry->d_name[0] < '0' || pEntry->d_name[0] > '9') continue;
    CUniqueFd oFd(
        ::open((sTasks + "/" + pEntry->d_name + "/status").c_str(), O_RDONLY | O_CLOEXEC));
    char szText[8192];
    size_t uLength = 0;
    if (!oFd.IsValid() || !ReadSmall(oFd.Get(), szText, sizeof szText, uLength)) continue;
    bool bFound = true;
    const int64_t iTask = FieldAfter(szText, "\nvoluntary_ctxt_switches:", bFound) +
                          FieldAfter(szText, "\nnonvoluntary_ctxt_switches:", bFound);
    if (bFound) {
      iSum += iTask;
      bAny = true;
    }
  }
  if (!bAny) errno = ESRCH;
  return bAny;
}

PDH_STATUS CProcQuery::ProcessFor(const std::string& sInstance, size_t& uProcess) {
  if (!m_bTableLoaded) {
    m_oTable = ListProcesses();
    m_bTableLoaded = true;
  }
  const int iPid = FindInstancePid(m_oTable, sInstance);
  if (iPid <= 0) return PDH_CSTATUS_NO_INSTANCE;
  for (size_t u = 0; u < m_oProcesses.size(); ++u) {
    if (m_oProcesses[u]->m_iPid == iPid) {
      uProcess = u;
      return PDH_CSTATUS_VALID_DATA;
    }
  }
  auto pProcess = std::make_unique<SProcess>();
  if (!OpenProcess(iPid, *pProcess)) return PDH_CSTATUS_NO_INSTANCE;
  uProcess = m_oProcesses.size();
  m_oProcesses.push_back(std::move(pProcess));
  return PDH_CSTATUS_VALID_DATA;
}

bool CProcQuery::OpenProcess(int iPid, SProcess& oProcess) {
  oProcess.m_iPid = iPid;
  const std::string sStat = "/proc/" + std::to_string(iPid) + "/stat";
  oProcess.m_oStatFd.Reset(::open(sStat.c_str(), O_RDONLY | O_CLOEXEC));
  if (!oProcess.m_oStatFd.IsValid()) return false;
  char szStat[1024];
  size_t uLength = 0;
  char cState = 0;
  if (!ReadSmall(oProcess.m_oStatFd.Get(), szStat, sizeof szStat, uLength) ||
      !ParseStat(szStat, oProcess.m_iStartTicks, cState) || cState == 'Z' || cState == 'X') {
    return false;
  }
  oProcess.m_oPidFd.Reset(static_cast<int>(::syscall(SYS_pidfd_open, iPid, 0)));
  return true;
}

bool CProcQuery::IsAlive(SProcess& oProcess) {
  if (oProcess.m_oPidFd.IsValid()) {
    pollfd oPoll{oProcess.m_oPidFd.Get(), POLLIN, 0};
    return ::poll(&oPoll, 1, 0) == 0;
  }
  char szStat[1024];
  size_t uLength = 0;
  char cState = 0;
  int64_t iStart = 0;
  return ReadSmall(oProcess.m_oStatFd.Get(), szStat, sizeof szStat, uLength) &&
         ParseStat(szStat, iStart, cState) && cState != 'Z' && cState != 'X';
}

bool CProcQuery::ReadSource(SSource& oSource, bool bStatus, int iPid) {
  bool bFound = true;
  int64_t aValue[2] = {0, 0};
  if (bStatus) {
    // Context switches of every thread: a process whose main thread only waits in accept()
    // still works in its other threads.
    if (!SumTaskSwitches(iPid, aValue[0])) return false;
  } else {
    char szText[8192];
    size_t uLength = 0;
    if (!ReadSmall(oSource.m_oFd.Get(), szText, sizeof szText, uLength)) return false;
    aValue[0] = FieldAfter(szText, "rchar:", bFound) + FieldAfter(szText, "\nwchar:", bFound);
    aValue[1] = FieldAfter(szText, "\nsyscr:", bFound) + FieldAfter(szText, "\nsyscw:", bFound);
  }
  if (!bFound) {
    errno = EINVAL;
    return false;
  }
  std::copy(std::begin(oSource.m_aCurrent), std::end(oSource.m_aCurrent), oSource.m_aPrevious);
  std::copy(std::begin(aValue), std::end(aValue), oSource.m_aCurrent);
  oSource.m_iPreviousUs = oSource.m_iCurrentUs;
  oSource.m_iCurrentUs = NowUs(CLOCK_MONOTONIC);
  oSource.m_uGeneration = m_uGeneration;
  ++oSource.m_iReadings;
  return true;
}

PDH_STATUS CProcQuery::Collect() {
  if (m_oCounters.empty()) return PDH_NO_DATA;
  ++m_uGeneration;
  m_bTableLoaded = false;
  m_oTable.clear();
  for (SCounter& oCounter : m_oCounters) ++oCounter.m_iCollections;
  // A source's first reading is taken at the collection, so that the next one gives a rate.
  for (auto& pProcess : m_oProcesses) {
    for (SSource* pSource : {&pProcess->m_oIo, &pProcess->m_oStatus}) {
      if (pSource->m_oFd.IsValid() && pSource->m_iReadings == 0) {
        ReadSource(*pSource, pSource == &pProcess->m_oStatus, pProcess->m_iPid);
      }
    }
  }
  return PDH_CSTATUS_VALID_DATA;
}

PDH_STATUS CProcQuery::Rate(SProcess& oProcess, const SCounter& oCounter, int32_t& lValue) {
  const bool bStatus = oCounter.m_eKind == ECounter::kContextSwitches;
  SSource& oSource = bStatus ? oProcess.m_oStatus : oProcess.m_oIo;
  if (!oSource.m_oFd.IsValid()) return PDH_INVALID_DATA;
  if (oSource.m_uGeneration != m_uGeneration && !ReadSource(oSource, bStatus, oProcess.m_iPid)) {
    return errno == ESRCH ? PDH_NO_DATA : PDH_INVALID_DATA;
  }
  if (oCounter.m_iCollections < 2 || oSource.m_iReadings < 2) return PDH_INVALID_DATA;
  const int iSlot = oCounter.m_eKind == ECounter::kIoOperations ? 1 : 0;
  const int64_t iDelta =
      std::max<int64_t>(0, oSource.m_aCurrent[iSlot] - oSource.m_aPrevious[iSlot]);
  const int64_t iElapsedUs = std::max<int64_t>(1, oSource.m_iCurrentUs - oSource.m_iPreviousUs);
  const __int128 iRate = static_cast<__int128>(iDelta) * 1'000'000 / iElapsedUs;
  lValue = static_cast<int32_t>(std::min<__int128>(iRate, INT32_MAX));
  return PDH_CSTATUS_VALID_DATA;
}

PDH_STATUS CProcQuery::GetLong(CounterHandle hCounter, int32_t& lValue) {
  if (hCounter < 0 || static_cast<size_t>(hCounter) >= m_oCounters.size()) {
    return PDH_INVALID_HANDLE;
  }
  const SCounter& oCounter = m_oCounters[static_cast<size_t>(hCounter)];
  if (oCounter.m_iCollections < 1) return PDH_INVALID_DATA;
  SProcess& oProcess = *m_oProcesses[oCounter.m_uProcess];
  if (!IsAlive(oProcess)) return PDH_NO_DATA;
  if (oCounter.m_eKind != ECounter::kElapsed) return Rate(oProcess, oCounter, lValue);
  static const int64_t iTicksPerSecond = ::sysconf(_SC_CLK_TCK);
  const int64_t iStartUs =
      oProcess.m_iStartTicks * 1'000'000 / std::max<int64_t>(1, iTicksPerSecond);
  const int64_t iSeconds = (NowUs(CLOCK_BOOTTIME) - iStartUs) / 1'000'000;
  lValue = static_cast<int32_t>(std::clamp<int64_t>(iSeconds, 0, INT32_MAX));
  return PDH_CSTATUS_VALID_DATA;
}

}  // namespace

std::unique_ptr<ICounterQuery> OpenCounterQuery() {
  if (::access("/proc/self/stat", R_OK) != 0) return nullptr;
  return std::make_unique<CProcQuery>();
}

}  // namespace wdx
