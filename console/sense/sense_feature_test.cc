#include "console/sense/sense_feature.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "console/sense/fake_sense_probe.h"
#include "console/settings_editor.h"
#include "console/web/fake_api_registry.h"
#include "tests/support/temp_folder.h"

namespace wdx {
namespace {

using nlohmann::json;

class SenseFeatureTest : public ::testing::Test {
 protected:
  SenseFeatureTest() { m_oFolder.UseForLocks(); }

  // A feature whose tests use a fresh fake probe each, prepared by m_fnPrepare.
  void MakeFeature() {
    m_pFeature = std::make_unique<CSenseFeature>(SConsoleContext{m_oFolder.Path(), {}}, [this] {
      SSenseProbeLoad oLoad;
      auto pProbe = std::make_unique<CFakeSenseProbe>();
      m_pProbe = pProbe.get();
      oLoad.m_oSettings = m_oSettings;
      if (m_fnPrepare) m_fnPrepare(*pProbe);
      oLoad.m_pProbe = std::move(pProbe);
      return oLoad;
    });
    m_pFeature->RegisterApi(m_oApi);
  }
  json State() {
    const SApiReply oReply = m_oApi.Get("/api/sense");
    EXPECT_EQ(oReply.m_iStatus, 200);
    return oReply.m_oBody;
  }
  bool WaitFor(const std::function<bool(const json&)>& fnDone) {
    for (int i = 0; i < 400; ++i) {
      if (fnDone(State())) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return false;
  }

  test::CTempFolder m_oFolder;
  CFakeApiRegistry m_oApi;
  SSenseSettings m_oSettings{true, true, "host", false};
  std::function<void(CFakeSenseProbe&)> m_fnPrepare;
  CFakeSenseProbe* m_pProbe = nullptr;  // valid while its test runs
  std::unique_ptr<CSenseFeature> m_pFeature;
};

TEST_F(SenseFeatureTest, ShowsAndSavesTheStoredSensitivity) {
  MakeFeature();
  json oState = State();
  EXPECT_EQ(oState["sensitivity"], 10);  // nothing stored yet
  EXPECT_EQ(oState["warning"], "Tests can run up to 130 seconds and cannot be stopped.");
  EXPECT_EQ(oState["busy"], false);
  EXPECT_EQ(oState["picture"], "none");
  EXPECT_EQ(oState["testedSensitivity"], -1);

  const SApiReply oSaved = m_oApi.Post("/api/sense/save", {{"sensitivity", 37}});
  ASSERT_EQ(oSaved.m_iStatus, 200) << oSaved.m_oBody.dump();
  EXPECT_EQ(State()["sensitivity"], 37);
  const json aBad[] = {{{"sensitivity", 101}}, {{"sensitivity", -1}}, {{"sensitivity", "5"}},
                       {{"sensitivity", 2.5}}, json::object(),        json::array()};
  for (const json& oBody : aBad) {
    EXPECT_EQ(m_oApi.Post("/api/sense/save", oBody).m_iStatus, 400) << oBody.dump();
    EXPECT_EQ(m_oApi.Post("/api/sense/test", oBody).m_iStatus, 400) << oBody.dump();
  }
  CSettingsEditor oEditor(m_oFolder.Path());
  ASSERT_TRUE(oEditor.Load());
  EXPECT_EQ(oEditor.GetKey("Sensitivity"), "37");
  EXPECT_EQ(State()["picture"], "none") << "no test was started by a refused body";
}

TEST_F(SenseFeatureTest, RefusalIsAnAnswerForTheMessageBox) {
  m_oSettings.m_bWatch = false;
  MakeFeature();
  const SApiReply oReply = m_oApi.Post("/api/sense/test", {{"sensitivity", 0}});
  ASSERT_EQ(oReply.m_iStatus, 200);
  EXPECT_EQ(oReply.m_oBody["started"], false);
  EXPECT_EQ(oReply.m_oBody["message"], "The 'Auto Detect' setting is disabled..");
  const json oState = State();
  EXPECT_EQ(oState["busy"], false);
  EXPECT_EQ(oState["picture"], "none");
}

TEST_F(SenseFeatureTest, RunningTestShowsItsProgressThenItsOutcome) {
  m_fnPrepare = [](CFakeSenseProbe& oProbe) {
    oProbe.Hold();
    oProbe.m_bSamplePasses = false;
    oProbe.m_sFirstFailure = "\\\\host\\Process(idler)\\IO Data Bytes/sec";
  };
  MakeFeature();
  const SApiReply oStarted = m_oApi.Post("/api/sense/test", {{"sensitivity", 5}});
  ASSERT_EQ(oStarted.m_iStatus, 200);
  ASSERT_EQ(oStarted.m_oBody["started"], true);
  ASSERT_TRUE(WaitFor([](const json& o) { return o["sampling"] == true; }));
  json oState = State();
  EXPECT_EQ(oState["busy"], true);
  EXPECT_EQ(oState["picture"], "computing");
  EXPECT_EQ(oState["total"], 16);
  EXPECT_EQ(oState["testedSensitivity"], 5);
  EXPECT_EQ(oState["failedItem"], "");
  EXPECT_EQ(m_oApi.Post("/api/sense/test", {{"sensitivity", 5}}).m_iStatus, 409);
  m_pProbe->Release();
  ASSERT_TRUE(WaitFor([](const json& o) { return o["busy"] == false; }));
  oState = State();
  EXPECT_EQ(oState["picture"], "fail");
  EXPECT_EQ(oState["failedItem"], "idler");
  EXPECT_EQ(oState["sampling"], false);

  m_fnPrepare = nullptr;  // the next one passes at once
  ASSERT_EQ(m_oApi.Post("/api/sense/test", {{"sensitivity", 100}}).m_oBody["started"], true);
  ASSERT_TRUE(WaitFor([](const json& o) { return o["busy"] == false; }));
  oState = State();
  EXPECT_EQ(oState["picture"], "pass");
  EXPECT_EQ(oState["failedItem"], "");
  EXPECT_EQ(oState["total"], 130);
  EXPECT_EQ(oState["testedSensitivity"], 100);
}

}  // namespace
}  // namespace wdx
