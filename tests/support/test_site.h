// CTestSite: a loopback web server with a "/local" and a "/remote" page whose status the test
// sets, for the GO-mode tests of the real service.
//
// Threading: the test thread sets the statuses; the server answers on a thread of its own.
#pragma once

#include <httplib.h>

#include <atomic>
#include <string>
#include <thread>

namespace wdx::test {

// A loopback web server whose pages answer with a status the test sets.
class CTestSite final {
 public:
  CTestSite() {
    m_oServer.Get("/local", [this](const httplib::Request&, httplib::Response& oResponse) {
      oResponse.status = m_iLocalStatus;
      oResponse.set_content("local", "text/plain");
    });
    m_oServer.Get("/remote", [this](const httplib::Request&, httplib::Response& oResponse) {
      oResponse.status = m_iRemoteStatus;
      oResponse.set_content("remote", "text/plain");
    });
    m_iPort = m_oServer.bind_to_any_port("127.0.0.1");
    m_oThread = std::thread([this] { m_oServer.listen_after_bind(); });
    while (!m_oServer.is_running()) std::this_thread::yield();
  }
  ~CTestSite() {
    m_oServer.stop();
    m_oThread.join();
  }
  CTestSite(const CTestSite&) = delete;
  CTestSite& operator=(const CTestSite&) = delete;

  std::string Url(const char* szPath) const {
    return "http://127.0.0.1:" + std::to_string(m_iPort) + szPath;
  }

  std::atomic<int> m_iLocalStatus{200};
  std::atomic<int> m_iRemoteStatus{200};

 private:
  httplib::Server m_oServer;
  int m_iPort = 0;
  std::thread m_oThread;
};

}  // namespace wdx::test
