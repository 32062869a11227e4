// Cost of the performance watcher: CPU used by an activity test at a 1 ms sample period
// watching 10 processes (4 keys each, 5 of them idle so that the test runs its whole sample
// time), and the time to reload the process table with 2,000 extra processes running, next to
// "ps -e -o pid=,comm=" on the same table.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "components/perfwatch/pw.h"
#include "platform/proc_table.h"
#include "tests/support/spawned_program.h"
#include "tests/support/temp_folder.h"

namespace {

using wdx::test::CSpawnedProgram;

constexpr const char* kBusyScript =
    "while :; do echo 0123456789abcdef; sleep 0.02; done >/dev/null";
constexpr const char* kCounters[] = {"Elapsed Time", "IO Data Bytes/sec", "IO Data Operations/sec",
                                     "IO Other Operations/sec"};

double CpuSeconds() {
  rusage oUsage{};
  ::getrusage(RUSAGE_SELF, &oUsage);
  const auto Seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return Seconds(oUsage.ru_utime) + Seconds(oUsage.ru_stime);
}

void BM_ActivityCpu(benchmark::State& oState) {
  wdx::test::CTempFolder oFolder;
  std::vector<std::unique_ptr<CSpawnedProgram>> oPrograms;
  std::vector<std::string> oTitles;
  for (int i = 0; i < 10; ++i) {
    const bool bBusy = i % 2 == 0;
    const std::string sTitle = "abench" + std::to_string(::getpid()) + "x" + std::to_string(i);
    wdx::test::CopyProgram(bBusy ? "/bin/sh" : "/bin/sleep", oFolder.File(sTitle));
    const std::vector<std::string> oArgs =
        bBusy ? std::vector<std::string>{"-c", kBusyScript} : std::vector<std::string>{"600"};
    oPrograms.push_back(std::make_unique<CSpawnedProgram>(oFolder.File(sTitle), oArgs));
    oTitles.push_back(sTitle);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(1200));
  const int64_t iSeconds = oState.range(0);
  for (auto _ : oState) {
    wdx::CPW oSampler;
    for (const std::string& sTitle : oTitles) {
      for (const char* szCounter : kCounters) {
        oSampler.AddKey(("\\\\host\\Process(" + sTitle + ")\\" + szCounter).c_str());
      }
    }
    oSampler.SetSamplePeriod(1);
    oSampler.SetSampleSeconds(static_cast<uint32_t>(iSeconds));
    const double dCpuStart = CpuSeconds();
    const auto tStart = std::chrono::steady_clock::now();
    const bool bPassed = oSampler.Activity();
    const double dWall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - tStart).count();
    const double dCpu = CpuSeconds() - dCpuStart;
    benchmark::DoNotOptimize(bPassed);
    oState.counters["cpu_percent_of_one_core"] = 100.0 * dCpu / dWall;
    oState.counters["wall_s"] = dWall;
    oState.counters["passed"] = bPassed ? 1 : 0;
  }
}
BENCHMARK(BM_ActivityCpu)->Arg(5)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// 2,000 children that wait in pause(), killed and reaped when the object goes.
class CPausedChildren final {
 public:
  explicit CPausedChildren(int iCount) {
    for (int i = 0; i < iCount; ++i) {
      const pid_t iPid = ::fork();
      if (iPid == 0) {
        ::pause();
        ::_exit(0);
      }
      if (iPid > 0) m_oPids.push_back(iPid);
    }
  }
  ~CPausedChildren() {
    for (pid_t iPid : m_oPids) ::kill(iPid, SIGKILL);
    for (pid_t iPid : m_oPids) ::waitpid(iPid, nullptr, 0);
  }
  CPausedChildren(const CPausedChildren&) = delete;
  CPausedChildren& operator=(const CPausedChildren&) = delete;
  size_t Count() const { return m_oPids.size(); }

 private:
  std::vector<pid_t> m_oPids;
};

CPausedChildren* g_pChildren = nullptr;

void BM_ReloadProcessTable(benchmark::State& oState) {
  size_t uEntries = 0;
  for (auto _ : oState) {
    const auto oTable = wdx::ListProcesses();
    uEntries = oTable.size();
    benchmark::DoNotOptimize(oTable.data());
  }
  oState.counters["processes"] = static_cast<double>(uEntries);
}
BENCHMARK(BM_ReloadProcessTable)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void BM_PsListing(benchmark::State& oState) {
  size_t uLines = 0;
  for (auto _ : oState) {
    FILE* pPipe = ::popen("ps -e -o pid=,comm=", "r");
    if (pPipe == nullptr) {
      oState.SkipWithError("ps did not start");
      break;
    }
    char szLine[512];
    uLines = 0;
    while (std::fgets(szLine, sizeof szLine, pPipe) != nullptr) ++uLines;
    ::pclose(pPipe);
  }
  oState.counters["processes"] = static_cast<double>(uLines);
}
BENCHMARK(BM_PsListing)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  CPausedChildren oChildren(2000);
  g_pChildren = &oChildren;
  std::fprintf(stderr, "started %zu paused children\n", oChildren.Count());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
