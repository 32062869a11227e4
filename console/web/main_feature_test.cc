#include "console/web/main_feature.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "console/settings_editor.h"
#include "console/web/fake_api_registry.h"
#include "tests/support/temp_folder.h"
#include "tests/support/temp_registry.h"

namespace wdx {
namespace {

// The feature over a real settings file, with no service to talk to (no command object).
class MainFeatureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SConsoleContext oContext{m_oFolder.Path(), [this] { ++m_iQuits; }};
    SDlgSeams oSeams;
    oSeams.m_fnCreateCommands = [] { return std::unique_ptr<IWdxCommands>(); };
    oSeams.m_pSettings = CreateMainSettings(m_oFolder.Path());
    oSeams.m_pRegistry = OpenRegistryStore();
    oSeams.m_fnInitWarden = [] { return true; };
    oSeams.m_fnReport = [] { return false; };
    m_pFeature = std::make_unique<CMainFeature>(oContext, std::move(oSeams));
    m_pFeature->RegisterApi(m_oApi);
    ASSERT_TRUE(WaitFor([](const nlohmann::json& oState) { return oState["started"] == true; }));
  }
  nlohmann::json State() { return m_oApi.Get("/api/main/state").m_oBody; }
  bool WaitFor(const std::function<bool(const nlohmann::json&)>& fnDone) {
    const auto tDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < tDeadline) {
      if (fnDone(State())) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }
  int Status(const std::string& sPath, nlohmann::json oBody) {
    return m_oApi.Post(sPath, std::move(oBody)).m_iStatus;
  }

  test::CTempRegistry m_oRegistry;
  test::CTempFolder m_oFolder;
  CFakeApiRegistry m_oApi;
  std::atomic<int> m_iQuits{0};
  std::unique_ptr<CMainFeature> m_pFeature;
};

TEST_F(MainFeatureTest, StateShowsTheWindowAndBadRequestsAreRefused) {
  const nlohmann::json oState = State();
  EXPECT_EQ(oState["picture"], 1000);
  EXPECT_EQ(oState["statusList"].back(), "ERROR: WDXSvc is not running normally.");
  EXPECT_EQ(oState["buttons"]["go"], false);  // without a command object GO cannot be entered
  EXPECT_EQ(oState["buttons"]["stop"], false);
  EXPECT_EQ(oState["minutes"], 10);
  struct SCase {
    const char* szPath;
    nlohmann::json oBody;
    int iStatus;
  };
  const SCase aCases[] = {
      {"/api/main/press", {{"button", "go"}}, 409},
      {"/api/main/press", {{"button", "stop"}}, 409},
      {"/api/main/press", {{"button", "launch"}}, 400},
      {"/api/main/press", {{"button", 3}}, 400},
      {"/api/main/press", nlohmann::json::array(), 400},
      {"/api/main/minutes", {{"value", 1.5}}, 400},
      {"/api/main/minutes", nlohmann::json::object(), 400},
      {"/api/main/log-events", {{"on", "yes"}}, 400},
      {"/api/main/dismiss", {{"id", 99}}, 404},
      {"/api/main/dismiss", {{"id", "1"}}, 400},
  };
  for (const SCase& oCase : aCases) {
    EXPECT_EQ(Status(oCase.szPath, oCase.oBody), oCase.iStatus)
        << oCase.szPath << " " << oCase.oBody;
  }
}

TEST_F(MainFeatureTest, MinutesAndLogEventsReachTheSettingsFile) {
  EXPECT_EQ(Status("/api/main/minutes", {{"value", "7"}}), 200);
  EXPECT_EQ(Status("/api/main/log-events", {{"on", true}}), 200);
  ASSERT_TRUE(WaitFor([](const nlohmann::json& oState) {
    return oState["minutes"] == 7 && oState["logEvents"] == true;
  }));
  CSettingsEditor oEditor(m_oFolder.Path());
  ASSERT_TRUE(oEditor.Load());
  EXPECT_EQ(oEditor.GetKey("MinuteInterval"), "7");
  EXPECT_EQ(oEditor.GetKey("LogEvents"), "T");
  // A refused value leaves the file as it was and says why in a message box, until its OK.
  EXPECT_EQ(Status("/api/main/minutes", {{"value", "soon"}}), 200);
  ASSERT_TRUE(
      WaitFor([](const nlohmann::json& oState) { return !oState["messageBoxes"].empty(); }));
  const nlohmann::json oBox = State()["messageBoxes"][0];
  EXPECT_EQ(oBox["title"], "Minutes");
  EXPECT_FALSE(oBox["text"].get<std::string>().empty());
  ASSERT_TRUE(oEditor.Load());
  EXPECT_EQ(oEditor.GetKey("MinuteInterval"), "7");
  EXPECT_EQ(Status("/api/main/dismiss", {{"id", oBox["id"]}}), 200);
  EXPECT_TRUE(State()["messageBoxes"].empty());
  EXPECT_EQ(Status("/api/main/dismiss", {{"id", oBox["id"]}}), 404);
}

TEST_F(MainFeatureTest, ReportAndCloseConsole) {
  EXPECT_EQ(Status("/api/main/press", {{"button", "report"}}), 200);
  ASSERT_TRUE(WaitFor([](const nlohmann::json& oState) { return oState["report"]["done"] == 1; }));
  EXPECT_EQ(State()["report"]["ok"], false);
  EXPECT_EQ(Status("/api/main/press", {{"button", "closeConsole"}}), 200);
  ASSERT_TRUE(WaitFor([](const nlohmann::json& oState) { return oState["closing"] == true; }));
  EXPECT_EQ(m_iQuits, 1);
  EXPECT_EQ(Status("/api/main/press", {{"button", "report"}}), 409);
}

}  // namespace
}  // namespace wdx
