// A small web application for the demo: it answers GET /health with 200 while the file
// "<folder>/fail" does not exist and with 503 while it does, and GET / with a short page. Like a
// real application it keeps busy between requests (a small write every 50 ms), so that the
// activity test sees it working until it is stopped (kill -STOP). It also shows that it is alive
// the way a restart program can check: every second it writes a new first line into
// "<folder>/alive.txt", and once it listens it creates "<folder>/ready.flg".
//
//   wdx_demo_web PORT FOLDER
#include <httplib.h>
#include <signal.h>
#include <sys/stat.h>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

httplib::Server* g_pServer = nullptr;

void Stop(int) {
  if (g_pServer) g_pServer->stop();
}

// Replaces the file whole, so that a reader never sees it half written.
void WriteFileWhole(const std::string& sPath, const std::string& sText) {
  const std::string sTemp = sPath + ".tmp";
  const int iFd = open(sTemp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (iFd < 0) return;
  const bool bWritten = write(iFd, sText.data(), sText.size()) == static_cast<ssize_t>(sText.size());
  close(iFd);
  if (bWritten) rename(sTemp.c_str(), sPath.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: wdx_demo_web PORT FOLDER\n");
    return 2;
  }
  const int iPort = std::atoi(argv[1]);
  const std::string sFailFile = std::string(argv[2]) + "/fail";
  httplib::Server oServer;
  oServer.Get("/", [](const httplib::Request&, httplib::Response& oResponse) {
    oResponse.set_content("Wardenix demo application\n", "text/plain");
  });
  oServer.Get("/health", [&](const httplib::Request&, httplib::Response& oResponse) {
    struct stat oInfo = {};
    const bool bFailing = stat(sFailFile.c_str(), &oInfo) == 0;
    oResponse.status = bFailing ? 503 : 200;
    oResponse.set_content(bFailing ? "failing\n" : "ok\n", "text/plain");
  });
  const std::string sAliveFile = std::string(argv[2]) + "/alive.txt";
  std::atomic<bool> bRunning{true};
  std::thread oBusy([&] {
    const int iNull = open("/dev/null", O_WRONLY | O_CLOEXEC);
    for (long iTick = 0; bRunning; ++iTick) {
      if (write(iNull, "tick\n", 5) < 0) break;
      if (iTick % 20 == 0) {
        WriteFileWhole(sAliveFile, "alive " + std::to_string(getpid()) + " " +
                                       std::to_string(iTick / 20) + "\n");
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    close(iNull);
  });
  g_pServer = &oServer;
  signal(SIGTERM, Stop);
  signal(SIGINT, Stop);
  bool bListened = oServer.bind_to_port("127.0.0.1", iPort);
  if (bListened) {
    WriteFileWhole(std::string(argv[2]) + "/ready.flg", "ready\n");
    bListened = oServer.listen_after_bind();
  }
  bRunning = false;
  oBusy.join();
  if (!bListened) {
    std::fprintf(stderr, "wdx_demo_web: cannot listen on 127.0.0.1:%d\n", iPort);
    return 1;
  }
  return 0;
}
