#include "console/settings/settings_feature.h"

#include "console/settings/settings_test_fixture.h"
#include "console/web/fake_api_registry.h"

namespace wdx {
namespace {

using nlohmann::json;

class SettingsFeatureTest : public test::CSettingsDialogTest {
 protected:
  void SetUp() override {
    m_pFeature = std::make_unique<CSettingsFeature>(SConsoleContext{Folder(), [] {}});
    m_pFeature->RegisterApi(m_oApi);
  }
  json Get(const std::string& sDialog) {
    const SApiReply oReply = m_oApi.Get("/api/settings/" + sDialog);
    EXPECT_EQ(oReply.m_iStatus, 200) << sDialog << oReply.m_oBody.dump();
    return oReply.m_oBody;
  }
  // A POST that must be answered 200.
  json Post(const std::string& sPath, const json& oBody) {
    const SApiReply oReply = m_oApi.Post("/api/settings/" + sPath, oBody);
    EXPECT_EQ(oReply.m_iStatus, 200) << sPath << oReply.m_oBody.dump();
    return oReply.m_oBody;
  }

  CFakeApiRegistry m_oApi;
  std::unique_ptr<CSettingsFeature> m_pFeature;
};

TEST_F(SettingsFeatureTest, EachDialogOpensWithTheFileAndItsOkSaves) {
  WriteFile({"[KEYS]", "AdminId=ops", "Password=pw", "PName2=Bo", "[URLS]", "http://a/", "[STOPS]",
             "/bin/a", "[EMAILS]", "x@y.test"});
  EXPECT_EQ(Get("required")["AdminId"], "ops");
  EXPECT_EQ(Get("required")["RstrSecs"], "300");
  EXPECT_EQ(Get("urls")["entries"], json::array({"http://a/"}));
  EXPECT_EQ(Get("rurls")["entries"], json::array());
  EXPECT_EQ(Get("programs")["monitor"], json::array({"/bin/a"}));
  EXPECT_EQ(Get("phone")["rows"][1]["name"], "Bo");
  EXPECT_EQ(Get("options")["WATCH"], true);
  EXPECT_EQ(Get("email")["recipients"], json::array({"x@y.test"}));
  EXPECT_EQ(Get("audit")["lines"].size(), 10u);

  const json oAccepted = {{"accepted", true}, {"closed", true}, {"messages", json::array()}};
  EXPECT_EQ(Post("rurls", {{"entries", {"http://r/"}}}), oAccepted);
  EXPECT_EQ(Post("options", {{"UseIni", true}, {"WATCH", false}}), oAccepted);
  EXPECT_EQ(Post("required", {{"AdminId", "root"},
                              {"Password", "p2"},
                              {"Confirm", "p2"},
                              {"DomainName", ""},
                              {"MachineName", "m"},
                              {"RestartsB4Reboot", "2"},
                              {"RstrSecs", "5"}}),
            oAccepted);
  json oRows = json::array();
  for (int i = 0; i < 6; ++i) oRows.push_back({{"name", ""}, {"number", ""}, {"enabled", false}});
  oRows[0] = {{"name", "Ann"}, {"number", "sim:ann"}, {"enabled", true}};
  EXPECT_EQ(Post("phone", {{"MsgDown", "down"}, {"MsgUp", "up"}, {"PAck", false}, {"rows", oRows}}),
            oAccepted);
  EXPECT_EQ(Section("RURLS"), std::vector<std::string>{"http://r/"});
  EXPECT_EQ(Key("WATCH"), "F");
  EXPECT_EQ(Key("RstrSecs"), "15");
  EXPECT_EQ(Key("PNum1"), "sim:ann");
  EXPECT_EQ(Post("normalize-url", {{"text", "ftp://h/x"}})["entry"], "http://h/x");

  // A refused OK answers with the dialog's texts; a mismatch closes.
  oRows[1]["enabled"] = true;
  EXPECT_EQ(
      Post("phone", {{"MsgDown", "d"}, {"MsgUp", "u"}, {"PAck", true}, {"rows", oRows}}),
      (json{{"accepted", false},
            {"closed", false},
            {"messages", {"Problem: One or more enabled phones are missing Name or Number."}}}));
  EXPECT_EQ(Post("required", {{"AdminId", "x"},
                              {"Password", "a"},
                              {"Confirm", "b"},
                              {"DomainName", ""},
                              {"MachineName", ""},
                              {"RestartsB4Reboot", ""},
                              {"RstrSecs", ""}})["messages"],
            json::array({"Password does not confirm.\r Please retype paswords"}));
  EXPECT_EQ(Key("AdminId"), "root");
}

TEST_F(SettingsFeatureTest, InputThatCannotBeStoredIsRefusedWithNothingWritten) {
  WriteFile({"[KEYS]", "AdminId=ops"});
  const std::vector<std::string> oBefore = FileLines();
  struct SCase {
    const char* szPath;
    json oBody;
  };
  const SCase aoCases[] = {
      {"urls", json::array()},
      {"urls", {{"entries", "http://a/"}}},
      {"urls", {{"entries", {"http://a/", 5}}}},
      {"urls", {{"entries", {"http://a/[1]"}}}},
      {"programs", {{"monitor", json::array()}}},
      {"options", {{"UseIni", "T"}, {"WATCH", true}}},
      {"phone", {{"MsgDown", ""}, {"MsgUp", ""}, {"PAck", false}, {"rows", json::array()}}},
      {"email", {{"EmailEnabled", true}}},
      {"audit", {{"shown", {"[KEYS]", "AdminId=ops"}}, {"lines", {std::string(300, 'x')}}}},
      {"required",
       {{"AdminId", "\x7f"},
        {"Password", ""},
        {"Confirm", ""},
        {"DomainName", ""},
        {"MachineName", ""},
        {"RestartsB4Reboot", ""},
        {"RstrSecs", ""}}},
  };
  for (const SCase& oCase : aoCases) {
    const SApiReply oReply = m_oApi.Post(std::string("/api/settings/") + oCase.szPath, oCase.oBody);
    EXPECT_EQ(oReply.m_iStatus, 400) << oCase.szPath << oCase.oBody.dump();
    EXPECT_TRUE(oReply.m_oBody["error"].is_string()) << oCase.szPath;
  }
  EXPECT_EQ(FileLines(), oBefore);
}

TEST_F(SettingsFeatureTest, ProgramHelpersCheckAndBrowseFiles) {
  m_oFolder.Write("app.sh", "#!/bin/sh\n");
  EXPECT_EQ(Post("programs/check", {{"path", Folder() + "app.sh"}})["ok"], true);
  const json oMissing = Post("programs/check", {{"path", Folder() + "none"}});
  EXPECT_EQ(oMissing["ok"], false);
  EXPECT_EQ(oMissing["message"], "There is no file " + Folder() + "none.");
  const SApiReply oBrowse = m_oApi.Get("/api/settings/programs/browse", {{"folder", Folder()}});
  ASSERT_EQ(oBrowse.m_iStatus, 200);
  EXPECT_EQ(oBrowse.m_oBody["folder"], Folder());
  EXPECT_EQ(oBrowse.m_oBody["entries"], json::array({{{"name", "app.sh"}, {"folder", false}}}));
  EXPECT_EQ(m_oApi.Get("/api/settings/programs/browse", {{"folder", Folder() + "none"}}).m_iStatus,
            404);
  EXPECT_EQ(m_oApi.Get("/api/settings/programs/browse", {{"folder", "/"}}).m_oBody["parent"], "/");
  EXPECT_EQ(m_oApi.Get("/api/settings/programs/browse").m_oBody["folder"], Folder());
}

}  // namespace
}  // namespace wdx
