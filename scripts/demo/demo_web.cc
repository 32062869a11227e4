// A small web application for the demo: it answers GET /health with 200 while the file
// "<folder>/fail" does not exist and with 503 while it does, and GET / with a short page.
//
//   wdx_demo_web PORT FOLDER
#include <httplib.h>
#include <signal.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

httplib::Server* g_pServer = nullptr;

void Stop(int) {
  if (g_pServer) g_pServer->stop();
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
  g_pServer = &oServer;
  signal(SIGTERM, Stop);
  signal(SIGINT, Stop);
  if (!oServer.listen("127.0.0.1", iPort)) {
    std::fprintf(stderr, "wdx_demo_web: cannot listen on 127.0.0.1:%d\n", iPort);
    return 1;
  }
  return 0;
}
