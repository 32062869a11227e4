// The uptime report over a full UpTime.log: 10 MB of lines for 50 URLs spread over 40 days (a
// change every 22 seconds, about 2300 per URL in the 30 days shown), made into UptimeReport.html
// by the program folder's UtRpt.sh with the wdxcall and WdReport.so of this build. Prints the wall
// time, the CPU time of all it ran, and the peak memory of its largest process.
//
//   build/bench/report_bench
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>

#include "tests/support/temp_folder.h"

int main() {
  using Clock = std::chrono::steady_clock;
  wdx::test::CTempFolder oFolder;
  for (const char* szName : {"wdxcall", "wdxregsvr", "WdReport.so", "UtRpt.sh"}) {
    const std::string sFrom = std::string(WDX_DIST_DIR) + "/" + szName;
    if (symlink(sFrom.c_str(), oFolder.File(szName).c_str()) != 0) return 1;
  }
  const time_t llNow = 1796040000;
  std::string sLog = "banner\r\r\n";
  std::string sParams = "@URLS@\r\n";
  for (int i = 0; i < 50; ++i) sParams += "http://host" + std::to_string(i) + ".example/path\r\n";
  char szStamp[32];
  for (long i = 0; sLog.size() < 10'000'000; ++i) {
    const time_t llWhen = llNow - 40 * 86400 + 22 * i;
    struct tm oTm = {};
    gmtime_r(&llWhen, &oTm);
    strftime(szStamp, sizeof szStamp, "%m/%d/%y %H:%M:%S", &oTm);
    sLog += std::string(szStamp) + " (event): 101, http://host" + std::to_string(i % 50) +
            ".example/path, " + ((i / 50) % 2 ? "DN" : "UP") + "\r\r\n";
  }
  oFolder.Write("UpTime.log", sLog);
  oFolder.Write("RParams.txt", sParams);
  setenv("TZ", "UTC", 1);
  setenv("WDX_REPORT_NOW", std::to_string(llNow).c_str(), 1);
  setenv("WDX_REGISTRY", oFolder.File("store").c_str(), 1);

  const Clock::time_point tStart = Clock::now();
  const pid_t iPid = fork();
  if (iPid == 0) {
    const std::string sScript = oFolder.File("UtRpt.sh");
    execl(sScript.c_str(), sScript.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int iStatus = 0;
  if (iPid < 0 || waitpid(iPid, &iStatus, 0) != iPid || !WIFEXITED(iStatus) ||
      WEXITSTATUS(iStatus) != 0) {
    std::fprintf(stderr, "report_bench: UtRpt.sh failed\n");
    return 1;
  }
  const double dSeconds = std::chrono::duration<double>(Clock::now() - tStart).count();
  struct rusage oUsage = {};
  getrusage(RUSAGE_CHILDREN, &oUsage);
  // CPU time as well as wall time: on a busy machine the CPU time still compares runs.
  const double dCpu = static_cast<double>(oUsage.ru_utime.tv_sec + oUsage.ru_stime.tv_sec) +
                      (oUsage.ru_utime.tv_usec + oUsage.ru_stime.tv_usec) / 1e6;
  std::printf(
      "Uptime report, %zu bytes of UpTime.log, 50 URLs: %.2f s (CPU %.2f s), peak memory %ld KB, "
      "page %zu bytes\n",
      sLog.size(), dSeconds, dCpu, oUsage.ru_maxrss, oFolder.Read("UptimeReport.html").size());
  return 0;
}
