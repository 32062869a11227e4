// Measures one GO test cycle of the real wdxsvc over 100 local URLs on a loopback server: the
// time the service spends testing (operations state TESTING, polled by a client) less the
// cycle's specified pauses (100 ms after each passing URL and 100 ms before the decision, run at
// WDX_TIME_SCALE=1000, i.e. as 1 ms sleeps whose real length is measured here).
//
//   build/bench/cycle_bench [cycles]
#include <httplib.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "foundation/ram_file.h"
#include "service/host/wdx_client.h"
#include "service/host/wdx_codes.h"
#include "tests/support/service_fixture.h"

namespace {

constexpr int kUrls = 100;
using Clock = std::chrono::steady_clock;

double MeasuredSleepMs() {
  const auto tStart = Clock::now();
  for (int i = 0; i < 200; ++i) {
    struct timespec oPause = {0, 1'000'000};
    nanosleep(&oPause, nullptr);
  }
  return std::chrono::duration<double, std::milli>(Clock::now() - tStart).count() / 200;
}

}  // namespace

int main(int argc, char** argv) {
  const int iCycles = argc > 1 ? std::atoi(argv[1]) : 5;
  httplib::Server oSite;
  oSite.Get(R"(/page/(\d+))", [](const httplib::Request&, httplib::Response& oResponse) {
    oResponse.set_content("ok", "text/plain");
  });
  const int iPort = oSite.bind_to_any_port("127.0.0.1");
  std::thread oSiteThread([&] { oSite.listen_after_bind(); });

  wdx::test::CServiceFixture oFixture(1000);
  std::vector<std::string> oLines = {"[KEYS]",        "AdminId=a",         "Password=p",
                                     "MachineName=m", "MinuteInterval=10", "[URLS]"};
  for (int i = 0; i < kUrls; ++i) {
    oLines.push_back("http://127.0.0.1:" + std::to_string(iPort) + "/page/" + std::to_string(i));
  }
  wdx::CRamFile oSettings;
  oSettings.Initialize(oFixture.Home().c_str(), "AutoSet.caf");
  if (!oSettings.LoadToRamFromListBox(oLines) || !oSettings.SaveToFile()) return 1;

  if (oFixture.RunService({"-Service"}).m_iExitCode != 0 || !oFixture.StartServiceProcess()) {
    return 1;
  }
  wdx::CWdxSvrClient oClient(oFixture.Home());
  int iState = 0;
  oClient.OpsCommand(wdx::WDX_GO, iState);

  std::vector<double> oTesting;
  bool bInTest = false;
  Clock::time_point tBegin;
  while (static_cast<int>(oTesting.size()) < iCycles + 1) {
    if (!oClient.OpsCommand(wdx::WDX_GET_STATE, iState)) break;
    if (iState == wdx::WDX_STATE_TESTING && !bInTest) {
      bInTest = true;
      tBegin = Clock::now();
    } else if (iState != wdx::WDX_STATE_TESTING && bInTest) {
      bInTest = false;
      oTesting.push_back(std::chrono::duration<double, std::milli>(Clock::now() - tBegin).count());
    }
  }
  oTesting.erase(oTesting.begin());  // the first cycle also warms up connections and files
  std::sort(oTesting.begin(), oTesting.end());
  const double dPauses = (kUrls + 1) * MeasuredSleepMs();
  const double dMedian = oTesting.empty() ? 0 : oTesting[oTesting.size() / 2];
  std::printf(
      "cycle over %d local URLs: testing %.1f ms (median of %zu), pauses %.1f ms, own time "
      "%.3f ms per URL\n",
      kUrls, dMedian, oTesting.size(), dPauses, (dMedian - dPauses) / kUrls);
  oFixture.StopServiceProcess(10000);
  oSite.stop();
  oSiteThread.join();
  return 0;
}
