// Memory of the real wdxsvc in GO mode with the watcher component loaded and 10 programs
// watched (copies of /bin/sh running a busy loop), after a few test cycles.
//
//   build/bench/go_memory_bench [seconds-in-GO-mode]
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "foundation/ram_file.h"
#include "service/host/wdx_client.h"
#include "service/host/wdx_codes.h"
#include "tests/support/service_fixture.h"
#include "tests/support/spawned_program.h"

namespace {

std::string StatusField(int iPid, const std::string& sField) {
  std::ifstream oIn("/proc/" + std::to_string(iPid) + "/status");
  for (std::string sLine; std::getline(oIn, sLine);) {
    if (sLine.rfind(sField + ":", 0) == 0) return sLine.substr(sField.size() + 1);
  }
  return "?";
}

}  // namespace

int main(int argc, char** argv) {
  const int iSeconds = argc > 1 ? std::atoi(argv[1]) : 10;
  wdx::test::CServiceFixture oFixture(30);
  std::vector<std::string> oLines = {"[KEYS]",        "AdminId=a",        "Password=p",
                                     "MachineName=m", "MinuteInterval=1", "[STOPS]"};
  std::vector<std::unique_ptr<wdx::test::CSpawnedProgram>> oPrograms;
  for (int i = 0; i < 10; ++i) {
    const std::string sPath = oFixture.Home() + "watched" + std::to_string(i);
    if (!wdx::test::CopyProgram("/bin/sh", sPath)) return 1;
    oPrograms.push_back(std::make_unique<wdx::test::CSpawnedProgram>(
        sPath, std::vector<std::string>{"-c", "while :; do echo x; sleep 0.05; done >/dev/null"}));
    oLines.push_back(sPath);
  }
  sleep(2);  // the activity test counts a program's age in whole seconds
  wdx::CRamFile oSettings;
  oSettings.Initialize(oFixture.Home().c_str(), "AutoSet.caf");
  if (!oSettings.LoadToRamFromListBox(oLines) || !oSettings.SaveToFile()) return 1;
  if (oFixture.RunService({"-Service"}).m_iExitCode != 0 || !oFixture.StartServiceProcess()) {
    std::fprintf(stderr, "cannot start the service\n");
    return 1;
  }
  wdx::CWdxSvrClient oClient(oFixture.Home());
  int iResult = 0;
  oClient.OpsCommand(wdx::WDX_GO, iResult);
  sleep(static_cast<unsigned>(iSeconds));
  oClient.OpsCommand(wdx::WDX_GET_STATE, iResult);
  const int iPid = oFixture.ServicePid();
  std::printf("GO mode, 10 programs watched, %d cycles, state %d: RssAnon%s, VmRSS%s\n",
              oFixture.CountInLog("COpsMngrThread::Go Loop 0"), iResult,
              StatusField(iPid, "RssAnon").c_str(), StatusField(iPid, "VmRSS").c_str());
  std::printf("activity failures seen: %d\n", oFixture.CountInLog("Failure in "));
  oFixture.StopServiceProcess(10000);
  return 0;
}
