// Memory of the real wdxsvc in GO mode against monit doing the same job in the same run: one
// URL of a loopback web site checked every 5 seconds (monit also checks the site's process and
// runs its httpd on a Unix socket). Reports VmRSS, PSS and RssAnon of both in kB. Skips with a
// message when monit is not installed (it is not needed for anything else). With "https" the site
// is served over TLS with a certificate of a CA made for the run (the openssl tool), which wdxsvc
// trusts through SSL_CERT_FILE; monit does not verify certificates by default.
//
//   build/bench/memory_vs_monit_bench [seconds-per-program] [https]
#include <fcntl.h>
#include <httplib.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "foundation/ram_file.h"
#include "service/host/wdx_client.h"
#include "service/host/wdx_codes.h"
#include "tests/support/service_fixture.h"

extern char** environ;

namespace {

// The value in kB of a "Name:   123 kB" line of a /proc file; -1 when absent.
long ProcField(const std::string& sPath, const std::string& sField) {
  std::ifstream oIn(sPath);
  for (std::string sLine; std::getline(oIn, sLine);) {
    if (sLine.rfind(sField + ":", 0) == 0) return std::atol(sLine.c_str() + sField.size() + 1);
  }
  return -1;
}

void Report(const char* szName, int iPid) {
  const std::string sProc = "/proc/" + std::to_string(iPid);
  std::printf("%-7s VmRSS %6ld kB  Pss %6ld kB  RssAnon %6ld kB\n", szName,
              ProcField(sProc + "/status", "VmRSS"), ProcField(sProc + "/smaps_rollup", "Pss"),
              ProcField(sProc + "/status", "RssAnon"));
}

// With WDX_BENCH_MAPS=1: Rss and Pss in kB of each mapped file of the process, largest first.
void ReportMappings(int iPid) {
  if (std::getenv("WDX_BENCH_MAPS") == nullptr) return;
  const std::string sCommand =
      "awk '/^[0-9a-f]+-/{n=$6} /^Rss:/{r[n]+=$2} /^Pss:/{p[n]+=$2} "
      "END{for(n in r) printf \"%7d %7d %s\\n\", r[n], p[n], n}' /proc/" +
      std::to_string(iPid) + "/smaps | sort -rn";
  std::fflush(stdout);
  if (std::system(sCommand.c_str()) != 0) std::printf("(the mappings could not be listed)\n");
}

// A CA and a certificate for 127.0.0.1 signed by it, made with the openssl tool in sDir.
bool MakeCertificates(const std::string& sDir) {
  std::ofstream(sDir + "ext.cnf") << "subjectAltName=IP:127.0.0.1\nbasicConstraints=CA:FALSE\n";
  const std::string sKey = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";
  const std::string sScript =
      "cd '" + sDir + "' && openssl req -x509" + sKey +
      " -keyout ca.key -out ca.pem -days 2 -subj '/CN=Bench CA' && openssl req" + sKey +
      " -keyout server.key -out server.csr -subj '/CN=127.0.0.1' && openssl x509 -req"
      " -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -out server.pem -days 2"
      " -extfile ext.cnf";
  return std::system(("(" + sScript + ") >/dev/null 2>&1").c_str()) == 0;
}

bool FindProgram(const char* szName, std::string& sPath) {
  for (const char* szDir : {"/usr/bin/", "/usr/sbin/", "/bin/", "/sbin/"}) {
    sPath = std::string(szDir) + szName;
    if (access(sPath.c_str(), X_OK) == 0) return true;
  }
  return false;
}

// Measures monit checking the same URL and this process, in the foreground.
bool MeasureMonit(const std::string& sMonit, const std::string& sDir, int iPort, int iSeconds,
                  bool bTls) {
  const std::string sRc = sDir + "monitrc";
  {
    std::ofstream oRc(sRc);
    oRc << "set daemon 5\nset log " << sDir << "monit.log\nset pidfile " << sDir
        << "monit.pid\nset idfile " << sDir << "monit.id\nset statefile " << sDir
        << "monit.state\nset httpd unixsocket " << sDir << "monit.sock\n  allow bench:bench\n"
        << "check process site with pidfile " << sDir << "site.pid\n"
        << "check host site_url with address 127.0.0.1\n  if failed port " << iPort
        << (bTls ? " protocol https" : " protocol http") << " request \"/ok\" then alert\n";
  }
  std::ofstream(sDir + "site.pid") << getpid() << "\n";
  chmod(sRc.c_str(), 0600);
  const char* aArgs[] = {sMonit.c_str(), "-I", "-c", sRc.c_str(), nullptr};
  posix_spawn_file_actions_t oActions;
  posix_spawn_file_actions_init(&oActions);
  posix_spawn_file_actions_addopen(&oActions, 1, "/dev/null", O_WRONLY, 0);
  std::fflush(stdout);
  pid_t iPid = 0;
  const int iError =
      posix_spawn(&iPid, sMonit.c_str(), &oActions, nullptr, const_cast<char**>(aArgs), environ);
  posix_spawn_file_actions_destroy(&oActions);
  if (iError != 0) return false;
  sleep(static_cast<unsigned>(iSeconds));
  const bool bAlive = waitpid(iPid, nullptr, WNOHANG) == 0;
  if (bAlive) Report("monit", iPid);
  if (bAlive) ReportMappings(iPid);
  kill(iPid, SIGTERM);
  waitpid(iPid, nullptr, 0);
  return bAlive;
}

}  // namespace

int main(int argc, char** argv) {
  const int iSeconds = argc > 1 ? std::atoi(argv[1]) : 30;
  std::string sMonit;
  if (!FindProgram("monit", sMonit)) {
    std::printf("SKIPPED: monit is not installed (apt-get install monit); nothing measured\n");
    return 0;
  }
  const bool bTls = argc > 2 && std::string(argv[2]) == "https";
  // A time scale of 12 makes the one-minute cycle 5 seconds long.
  wdx::test::CServiceFixture oFixture(12);
  const std::string sDir = oFixture.Home();
  if (bTls && !MakeCertificates(sDir)) {
    std::fprintf(stderr, "the openssl tool could not make the certificates\n");
    return 1;
  }
  if (bTls) setenv("SSL_CERT_FILE", (sDir + "ca.pem").c_str(), 1);
  std::unique_ptr<httplib::Server> pSite =
      bTls ? std::make_unique<httplib::SSLServer>((sDir + "server.pem").c_str(),
                                                  (sDir + "server.key").c_str())
           : std::make_unique<httplib::Server>();
  httplib::Server& oSite = *pSite;
  oSite.Get("/ok", [](const httplib::Request&, httplib::Response& oRes) {
    oRes.set_content("fine", "text/plain");
  });
  const int iPort = oSite.bind_to_any_port("127.0.0.1");
  std::thread oSiteThread([&] { oSite.listen_after_bind(); });
  const std::string sUrl =
      std::string(bTls ? "https" : "http") + "://127.0.0.1:" + std::to_string(iPort) + "/ok";
  wdx::CRamFile oSettings;
  oSettings.Initialize(oFixture.Home().c_str(), "AutoSet.caf");
  int iExit = 1;
  if (!oSettings.LoadToRamFromListBox({"[KEYS]", "AdminId=a", "Password=p", "MachineName=m",
                                       "MinuteInterval=1", "[URLS]", sUrl}) ||
      !oSettings.SaveToFile() || oFixture.RunService({"-Service"}).m_iExitCode != 0 ||
      !oFixture.StartServiceProcess()) {
    std::fprintf(stderr, "cannot start the service\n");
  } else {
    wdx::CWdxSvrClient oClient(oFixture.Home());
    int iResult = 0;
    oClient.OpsCommand(wdx::WDX_GO, iResult);
    sleep(static_cast<unsigned>(iSeconds));
    std::printf("%d-second run each, URL %s every 5 s; wdxsvc made %d URL tests\n", iSeconds,
                sUrl.c_str(), oFixture.CountInLog("CGetWebPage::  Got status code 200"));
    Report("wdxsvc", oFixture.ServicePid());
    ReportMappings(oFixture.ServicePid());
    oFixture.StopServiceProcess(10000);
    iExit = MeasureMonit(sMonit, sDir, iPort, iSeconds, bTls) ? 0 : 1;
    if (iExit != 0) std::fprintf(stderr, "monit did not keep running\n");
  }
  oSite.stop();
  oSiteThread.join();
  return iExit;
}
