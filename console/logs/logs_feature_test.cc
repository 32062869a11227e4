#include "console/logs/logs_feature.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "console/web/fake_api_registry.h"
#include "tests/support/temp_folder.h"

namespace wdx {
namespace {

using Query = std::map<std::string, std::string>;

class LogsFeatureTest : public ::testing::Test {
 protected:
  LogsFeatureTest() {
    m_pFeature = CreateLogsFeature(SConsoleContext{m_oFolder.Path(), [] {}});
    m_pFeature->RegisterApi(m_oRegistry);
  }
  SApiReply Log(Query oQuery) { return m_oRegistry.Get("/api/log", std::move(oQuery)); }

  test::CTempFolder m_oFolder;
  CFakeApiRegistry m_oRegistry;
  std::unique_ptr<IConsoleFeature> m_pFeature;
};

TEST_F(LogsFeatureTest, OnlyTheFourLogsCanBeRead) {
  const std::pair<const char*, const char*> aLogs[] = {{"console", "Wardenix.log"},
                                                       {"service", "WDXSVC.log"},
                                                       {"uptime", "UpTime.log"},
                                                       {"phone", "PhoneOuts.log"}};
  for (const auto& [szName, szFile] : aLogs) {
    m_oFolder.Write(szFile, std::string("in ") + szFile + "\r\r\n");
    const SApiReply oReply = Log({{"name", szName}});
    ASSERT_EQ(oReply.m_iStatus, 200) << szName;
    EXPECT_EQ(oReply.m_oBody["file"], szFile);
    EXPECT_EQ(oReply.m_oBody["lines"], nlohmann::json::array({std::string("in ") + szFile}));
  }
  m_oFolder.Write("AutoSet.caf", "secret\n");
  for (const char* szName :
       {"", "other", "CONSOLE", "Wardenix.log", "../AutoSet.caf", "AutoSet.caf", "/etc/passwd"}) {
    EXPECT_EQ(Log({{"name", szName}}).m_iStatus, 404) << szName;
  }
  EXPECT_EQ(m_oRegistry.Get("/api/log").m_iStatus, 404);
}

TEST_F(LogsFeatureTest, BadOffsetsAndCountsAreRefused) {
  const Query aBad[] = {
      {{"before", "-1"}},
      {{"before", "abc"}},
      {{"after", "1x"}},
      {{"after", ""}},
      {{"lines", "0"}},
      {{"lines", "2001"}},
      {{"before", "0"}, {"after", "0"}},
      {{"before", "99999999999999999999"}},
  };
  for (Query oQuery : aBad) {
    oQuery["name"] = "console";
    const SApiReply oReply = Log(oQuery);
    EXPECT_EQ(oReply.m_iStatus, 400) << oReply.m_oBody.dump();
    EXPECT_TRUE(oReply.m_oBody["error"].is_string());
  }
}

TEST_F(LogsFeatureTest, PagesBackAndFollows) {
  SApiReply oReply = Log({{"name", "console"}});
  ASSERT_EQ(oReply.m_iStatus, 200);
  EXPECT_EQ(oReply.m_oBody["exists"], false);
  EXPECT_EQ(oReply.m_oBody["lines"], nlohmann::json::array());

  m_oFolder.Write("Wardenix.log", "a\r\r\nb\r\r\nc\r\r\nd");
  oReply = Log({{"name", "console"}, {"lines", "2"}});
  EXPECT_EQ(oReply.m_oBody["lines"], nlohmann::json::array({"b", "c"}));
  EXPECT_EQ(oReply.m_oBody["tail"], "d");
  EXPECT_EQ(oReply.m_oBody["more"], true);
  EXPECT_EQ(oReply.m_oBody["start"], 4);
  EXPECT_EQ(oReply.m_oBody["end"], 12);
  oReply = Log({{"name", "console"}, {"lines", "2"}, {"before", "4"}});
  EXPECT_EQ(oReply.m_oBody["lines"], nlohmann::json::array({"a"}));
  EXPECT_EQ(oReply.m_oBody["more"], false);

  m_oFolder.Write("Wardenix.log", "a\r\r\nb\r\r\nc\r\r\nd\r\r\ne");
  oReply = Log({{"name", "console"}, {"after", "12"}});
  EXPECT_EQ(oReply.m_oBody["lines"], nlohmann::json::array({"d"}));
  EXPECT_EQ(oReply.m_oBody["tail"], "e");
  EXPECT_EQ(oReply.m_oBody["rotated"], false);
  m_oFolder.Write("Wardenix.log", "z\r\r\n");
  oReply = Log({{"name", "console"}, {"after", "16"}});
  EXPECT_EQ(oReply.m_oBody["rotated"], true);
  EXPECT_EQ(oReply.m_oBody["lines"], nlohmann::json::array({"z"}));
}

TEST_F(LogsFeatureTest, AboutNamesProductVersionAndFolder) {
  const SApiReply oReply = m_oRegistry.Get("/api/about");
  ASSERT_EQ(oReply.m_iStatus, 200);
  EXPECT_EQ(oReply.m_oBody["product"], "Wardenix");
  EXPECT_EQ(oReply.m_oBody["version"], "1.0");
  EXPECT_EQ(oReply.m_oBody["programFolder"], m_oFolder.Path());
  EXPECT_EQ(oReply.m_oBody["copyright"], "Copyright (c) Wardenix. All rights reserved.");
}

}  // namespace
}  // namespace wdx
