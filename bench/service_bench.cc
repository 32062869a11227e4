// Measures the real wdxsvc: command round trip (WDX_GET_STATE) on a persistent connection,
// p50/p99 over many calls; the memory of an initialised idle service; and its idle wake-ups and
// CPU time over a quiet period.
//
//   build/bench/service_bench [calls] [idle-seconds]
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "service/host/wdx_client.h"
#include "service/host/wdx_codes.h"
#include "tests/support/service_fixture.h"

namespace {

std::string StatusField(int iPid, const std::string& sField) {
  std::ifstream oIn("/proc/" + std::to_string(iPid) + "/status");
  for (std::string sLine; std::getline(oIn, sLine);) {
    if (sLine.rfind(sField + ":", 0) == 0) {
      std::string sValue = sLine.substr(sField.size() + 1);
      sValue.erase(0, sValue.find_first_not_of(" \t"));
      return sValue;
    }
  }
  return "?";
}

// Voluntary context switches of every thread of the process, and its CPU ticks.
void ProcessActivity(int iPid, long& lSwitches, long& lTicks) {
  lSwitches = 0;
  const std::string sTasks = "/proc/" + std::to_string(iPid) + "/task/";
  FILE* pList = popen(("ls " + sTasks).c_str(), "r");
  char szTid[32];
  while (pList && fgets(szTid, sizeof szTid, pList)) {
    std::string sTid(szTid);
    sTid.erase(sTid.find_last_not_of("\n") + 1);
    std::ifstream oIn(sTasks + sTid + "/status");
    for (std::string sLine; std::getline(oIn, sLine);) {
      if (sLine.rfind("voluntary_ctxt_switches:", 0) == 0)
        lSwitches += std::atol(sLine.c_str() + 24);
    }
  }
  if (pList) pclose(pList);
  std::ifstream oStat("/proc/" + std::to_string(iPid) + "/stat");
  std::string sStat((std::istreambuf_iterator<char>(oStat)), std::istreambuf_iterator<char>());
  std::istringstream oFields(sStat.substr(sStat.rfind(')') + 2));
  std::string sField;
  long lUser = 0, lSystem = 0;
  for (int i = 3; i <= 15 && oFields >> sField; ++i) {
    if (i == 14) lUser = std::atol(sField.c_str());
    if (i == 15) lSystem = std::atol(sField.c_str());
  }
  lTicks = lUser + lSystem;
}

}  // namespace

int main(int argc, char** argv) {
  const int iCalls = argc > 1 ? std::atoi(argv[1]) : 100000;
  const int iIdleSeconds = argc > 2 ? std::atoi(argv[2]) : 10;
  // Registered as a service (installed with the built-in supervisor, not started by it): the
  // program started below then runs exactly as the service does. Time runs at its real pace.
  wdx::test::CServiceFixture oFixture(1);
  if (oFixture.RunService({"-Service"}).m_iExitCode != 0 || !oFixture.StartServiceProcess()) {
    std::fprintf(stderr, "cannot start the service\n");
    return 1;
  }
  const int iPid = oFixture.ServicePid();
  wdx::CWdxSvrClient oClient(oFixture.Home());
  int iState = 0;
  if (!oClient.OpsCommand(wdx::WDX_GET_STATE, iState) || iState != wdx::WDX_STATE_READY) {
    std::fprintf(stderr, "service not ready: %s\n", oClient.GetLastError().c_str());
    return 1;
  }

  std::vector<double> oMicros;
  oMicros.reserve(static_cast<size_t>(iCalls));
  for (int i = 0; i < iCalls; ++i) {
    const auto tStart = std::chrono::steady_clock::now();
    oClient.OpsCommand(wdx::WDX_GET_STATE, iState);
    const auto tEnd = std::chrono::steady_clock::now();
    oMicros.push_back(std::chrono::duration<double, std::micro>(tEnd - tStart).count());
  }
  std::sort(oMicros.begin(), oMicros.end());
  std::printf("round trip WDX_GET_STATE, %d calls: p50 %.1f us, p99 %.1f us, max %.1f us\n", iCalls,
              oMicros[oMicros.size() / 2], oMicros[oMicros.size() * 99 / 100], oMicros.back());

  oClient.Disconnect();
  sleep(1);
  long lSwitchesBefore = 0, lTicksBefore = 0, lSwitchesAfter = 0, lTicksAfter = 0;
  ProcessActivity(iPid, lSwitchesBefore, lTicksBefore);
  sleep(static_cast<unsigned>(iIdleSeconds));
  ProcessActivity(iPid, lSwitchesAfter, lTicksAfter);
  std::printf("idle service: RssAnon %s, VmRSS %s, threads %s\n",
              StatusField(iPid, "RssAnon").c_str(), StatusField(iPid, "VmRSS").c_str(),
              StatusField(iPid, "Threads").c_str());
  std::printf("idle %d s: %ld wake-ups (%.2f per second), %ld CPU ticks of %ld per second\n",
              iIdleSeconds, lSwitchesAfter - lSwitchesBefore,
              double(lSwitchesAfter - lSwitchesBefore) / iIdleSeconds, lTicksAfter - lTicksBefore,
              sysconf(_SC_CLK_TCK));
  oFixture.StopServiceProcess(10000);
  return 0;
}
