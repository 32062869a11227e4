// One URL test against an in-process loopback HTTP server, two ways in the same run: the
// service's own getter (CGetWebPage::Go("D", url), with its log entries written to a real event
// log) and the command-line client started as a process ("curl -s -o /dev/null URL"). Reports
// the mean time of each in microseconds and how many times faster the getter is.
#include <benchmark/benchmark.h>
#include <httplib.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <string>
#include <thread>

#include "foundation/log_file.h"
#include "foundation/process_log.h"
#include "service/getter/get_web_page.h"
#include "tests/support/temp_folder.h"

extern char** environ;

namespace {

using CSteadyClock = std::chrono::steady_clock;

double MicrosSince(CSteadyClock::time_point oStart) {
  return std::chrono::duration<double, std::micro>(CSteadyClock::now() - oStart).count();
}

// Runs "curl -s -o /dev/null URL" and waits for it; true when it exited with 0.
bool RunCurlProcess(const std::string& sUrl) {
  const char* aArgs[] = {"curl", "-s", "-o", "/dev/null", sUrl.c_str(), nullptr};
  pid_t iPid = 0;
  if (posix_spawnp(&iPid, "curl", nullptr, nullptr, const_cast<char**>(aArgs), environ) != 0) {
    return false;
  }
  int iStatus = 0;
  if (waitpid(iPid, &iStatus, 0) != iPid) return false;
  return WIFEXITED(iStatus) && WEXITSTATUS(iStatus) == 0;
}

void BM_UrlTestInProcessVsCurlProcess(benchmark::State& oState) {
  wdx::test::CTempFolder oFolder;
  wdx::CLogFile oLog;
  oLog.SetFolder(oFolder.Path().c_str());
  oLog.Initialize("UrlBench");
  wdx::SetProcessLog(&oLog);

  httplib::Server oServer;
  oServer.Get("/ok", [](const httplib::Request&, httplib::Response& oRes) {
    oRes.set_content("<html><body>fine</body></html>", "text/html");
  });
  const int iPort = oServer.bind_to_any_port("127.0.0.1");
  std::thread oThread([&oServer] { oServer.listen_after_bind(); });
  while (!oServer.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  const std::string sUrl = "http://127.0.0.1:" + std::to_string(iPort) + "/ok";

  double dOursUs = 0;
  double dCurlUs = 0;
  for (auto _ : oState) {
    auto oStart = CSteadyClock::now();
    wdx::CGetWebPage oPage;
    const bool bOk = oPage.Go("D", sUrl.c_str()) == 0 && oPage.IsOk();
    dOursUs += MicrosSince(oStart);
    oStart = CSteadyClock::now();
    const bool bCurlOk = RunCurlProcess(sUrl);
    dCurlUs += MicrosSince(oStart);
    if (!bOk || !bCurlOk) {
      oState.SkipWithError("a URL test failed");
      break;
    }
  }
  oServer.stop();
  oThread.join();
  wdx::SetProcessLog(nullptr);

  const double dCount = static_cast<double>(oState.iterations());
  if (dCount == 0 || dOursUs == 0) return;
  oState.counters["in_process_us"] = dOursUs / dCount;
  oState.counters["curl_process_us"] = dCurlUs / dCount;
  oState.counters["ratio"] = dCurlUs / dOursUs;
}
BENCHMARK(BM_UrlTestInProcessVsCurlProcess)->Iterations(300)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
