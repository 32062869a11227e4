// `wardenix console` run in this process with a feature of the test's own: it serves the
// feature's API at the address it prints first, and a feature's quit ends it after the reply,
// with every feature shut down.
#include "console/console_command.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <ostream>
#include <sstream>
#include <thread>

#include "tests/support/temp_folder.h"

namespace wdx {
namespace {

// An output stream whose first line another thread can wait for.
class CLineSink final : public std::streambuf {
 public:
  std::string WaitLine() {
    std::unique_lock<std::mutex> oLock(m_oMutex);
    m_oCond.wait_for(oLock, std::chrono::seconds(30),
                     [this] { return m_sText.find('\n') != std::string::npos; });
    return m_sText.substr(0, m_sText.find('\n'));
  }

 private:
  int overflow(int iChar) override {
    std::lock_guard<std::mutex> oLock(m_oMutex);
    if (iChar != EOF) m_sText.push_back(static_cast<char>(iChar));
    m_oCond.notify_all();
    return iChar;
  }
  std::mutex m_oMutex;
  std::condition_variable m_oCond;
  std::string m_sText;
};

class CQuitFeature final : public IConsoleFeature {
 public:
  CQuitFeature(const SConsoleContext& oContext, std::atomic<int>& iShutdowns)
      : m_oContext(oContext), m_iShutdowns(iShutdowns) {}
  void RegisterApi(IApiRegistry& oRegistry) override {
    oRegistry.AddGet("/api/test/folder", [this](const SApiRequest&) {
      return SApiReply::Ok({{"folder", m_oContext.m_sProgramFolder}});
    });
    oRegistry.AddPost("/api/test/quit", [this](const SApiRequest&) {
      m_oContext.m_fnQuit();
      return SApiReply::Ok({{"closing", true}});
    });
  }
  void Shutdown() override { ++m_iShutdowns; }

 private:
  SConsoleContext m_oContext;
  std::atomic<int>& m_iShutdowns;
};

TEST(ConsoleCommandTest, ServesTheFeaturesAndEndsWhenOneQuits) {
  test::CTempFolder oFolder;
  std::atomic<int> iShutdowns{0};
  CLineSink oSink;
  std::ostream oOut(&oSink);
  std::ostringstream oErr;
  int iExit = -1;
  std::thread oConsole([&] {
    iExit = RunConsoleCommand(
        {"console", "--no-browser", "--port", "0"}, oFolder.Path(), oOut, oErr,
        [&](const SConsoleContext& oContext) {
          std::vector<std::unique_ptr<IConsoleFeature>> oFeatures;
          oFeatures.push_back(std::make_unique<CQuitFeature>(oContext, iShutdowns));
          return oFeatures;
        });
  });
  const std::string sLine = oSink.WaitLine();
  ASSERT_EQ(sLine.rfind("http://127.0.0.1:", 0), 0u) << sLine;
  const int iPort = std::stoi(sLine.substr(17));
  httplib::Client oClient("127.0.0.1", iPort);
  httplib::Result oLogin = oClient.Get(sLine.substr(sLine.find('/', 7)));
  ASSERT_TRUE(oLogin);
  ASSERT_EQ(oLogin->status, 303);
  const std::string sSetCookie = oLogin->get_header_value("Set-Cookie");
  const std::string sCookie = sSetCookie.substr(0, sSetCookie.find(';'));
  httplib::Result oFolderReply = oClient.Get("/api/test/folder", {{"Cookie", sCookie}});
  ASSERT_TRUE(oFolderReply);
  EXPECT_EQ(nlohmann::json::parse(oFolderReply->body)["folder"], oFolder.Path());
  const std::string sCsrf =
      nlohmann::json::parse(oClient.Get("/api/session", {{"Cookie", sCookie}})->body)["csrf"];
  httplib::Result oQuit = oClient.Post(
      "/api/test/quit", {{"Cookie", sCookie}, {"X-CSRF-Token", sCsrf}}, "{}", "application/json");
  ASSERT_TRUE(oQuit);  // the reply came before the end
  EXPECT_EQ(oQuit->body, R"({"closing":true})");
  oConsole.join();
  EXPECT_EQ(iExit, 0) << oErr.str();
  EXPECT_EQ(iShutdowns, 1);
  EXPECT_FALSE(oClient.Get("/api/session", {{"Cookie", sCookie}}));  // nobody listens
}

}  // namespace
}  // namespace wdx
