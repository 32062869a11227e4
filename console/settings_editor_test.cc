#include "console/settings_editor.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <thread>
#include <vector>

#include "service/host/wdx_codes.h"
#include "tests/support/temp_folder.h"

namespace wdx {
namespace {

class SettingsEditorTest : public ::testing::Test {
 protected:
  // The file's lines as a fresh editor reads them.
  std::vector<std::string> Export() {
    CSettingsEditor oReader(m_oFolder.Path());
    EXPECT_TRUE(oReader.Load()) << oReader.GetLastError();
    return oReader.ExportLines();
  }
  bool FileExists() {
    struct stat oInfo = {};
    return stat(m_oFolder.File(WDX_SETTINGS_FILE).c_str(), &oInfo) == 0;
  }

  test::CTempFolder m_oFolder;
  CSettingsEditor m_oEditor{m_oFolder.Path()};
};

TEST_F(SettingsEditorTest, ReadsOfAnAbsentFileCreateNothing) {
  ASSERT_TRUE(m_oEditor.Load()) << m_oEditor.GetLastError();
  EXPECT_TRUE(m_oEditor.ListKeys().empty());
  EXPECT_EQ(m_oEditor.GetKey("MinuteInterval"), "");
  EXPECT_TRUE(m_oEditor.GetSectionLines("URLS").empty());
  EXPECT_EQ(m_oEditor.ListSections(),
            (std::vector<std::string>{"[URLS]", "[RURLS]", "[PROGS]", "[STOPS]", "[EMAILS]"}));
  EXPECT_TRUE(m_oEditor.ExportLines().empty());
  EXPECT_FALSE(FileExists());
  // A folder that is not there is an error, not an empty file.
  CSettingsEditor oMissing(m_oFolder.Path() + "absent/");
  EXPECT_FALSE(oMissing.Load());
}

TEST_F(SettingsEditorTest, ListShowsEverySectionWithItsLines) {
  ASSERT_TRUE(m_oEditor.ImportLines({"[KEYS]", "Password=pw", "AdminId=ops", "SmtpPassword=s", "SipPassword=t", "[STOPS]",
                                     "/usr/bin/app", "[URLS]", "http://a/", "http://b/"}));
  ASSERT_TRUE(m_oEditor.Load());
  EXPECT_EQ(m_oEditor.ListKeys(), (std::vector<std::string>{"Password=********", "AdminId=ops", "SmtpPassword=********", "SipPassword=********"}));
  EXPECT_EQ(m_oEditor.ListSections(),
            (std::vector<std::string>{"[URLS]", "http://a/", "http://b/", "[RURLS]", "[PROGS]",
                                      "[STOPS]", "/usr/bin/app", "[EMAILS]"}));
  EXPECT_EQ(m_oEditor.GetSectionLines("urls"),
            (std::vector<std::string>{"http://a/", "http://b/"}));
  EXPECT_TRUE(CSettingsEditor::IsListSection("[rurls]"));
  EXPECT_FALSE(CSettingsEditor::IsListSection("KEYS"));
}

TEST_F(SettingsEditorTest, NumbersOutsideTheirRangeAreRefusedAndNothingIsSaved) {
  ASSERT_TRUE(m_oEditor.SetKey("AdminId", "ops"));
  const std::vector<std::string> oBefore = Export();
  struct SCase {
    const char* szKey;
    const char* szValue;
    const char* szRange;
  };
  for (const SCase& oCase :
       {SCase{"MinuteInterval", "abc", "from 1 to 1440"},
        SCase{"MinuteInterval", "-5", "from 1 to 1440"},
        SCase{"RestartsB4Reboot", "abc", "from 0 to 100"},
        SCase{"Sensitivity", "101", "from 0 to 100"}, SCase{"UrlTimeout", "0", "from 1 to 600"}}) {
    EXPECT_FALSE(m_oEditor.SetKey(oCase.szKey, oCase.szValue)) << oCase.szKey << oCase.szValue;
    EXPECT_NE(m_oEditor.GetLastError().find(oCase.szRange), std::string::npos)
        << m_oEditor.GetLastError();
  }
  const std::vector<std::string> oBad = {"[KEYS]", "AdminId=x", "Sensitivity=-1"};
  EXPECT_FALSE(m_oEditor.ImportLines(oBad));
  EXPECT_EQ(m_oEditor.GetLastError(),
            "Line 3: Sensitivity takes a whole number from 0 to 100, not \"-1\".");
  EXPECT_EQ(Export(), oBefore);
}

TEST_F(SettingsEditorTest, RestarterSecondsBelowTheLeastAreRaisedWithANote) {
  ASSERT_TRUE(m_oEditor.SetKey("RstrSecs", "5"));
  EXPECT_EQ(m_oEditor.GetNote(), "RstrSecs 5 is stored as 15, its least value.");
  // Outside "[KEYS]" a line is not a key, whatever it looks like.
  ASSERT_TRUE(m_oEditor.ImportLines({"[KEYS]", "RstrSecs=3", "[URLS]", "http://h/?RstrSecs=3"}));
  EXPECT_EQ(m_oEditor.GetNote(), "Line 2: RstrSecs 3 is stored as 15, its least value.");
  EXPECT_EQ(Export(),
            (std::vector<std::string>{"[KEYS]", "RstrSecs=15", "[URLS]", "http://h/?RstrSecs=3"}));
}

TEST_F(SettingsEditorTest, AChangeWorksOnTheFileAsItIsNowNotAsLoaded) {
  ASSERT_TRUE(m_oEditor.Load());  // an empty file, read before the other editor saves
  CSettingsEditor oOther(m_oFolder.Path());
  ASSERT_TRUE(oOther.AddLine("URLS", "http://other/"));
  ASSERT_TRUE(m_oEditor.SetKey("MinuteInterval", "3"));
  ASSERT_TRUE(m_oEditor.RemoveLine("URLS", "http://other/"));
  ASSERT_TRUE(oOther.AddLine("PROGS", "/usr/bin/app"));
  EXPECT_EQ(Export(), (std::vector<std::string>{"[URLS]", "[KEYS]", "MinuteInterval=3", "[PROGS]",
                                                "/usr/bin/app"}));
  struct stat oInfo = {};
  ASSERT_EQ(stat(m_oFolder.File(WDX_SETTINGS_FILE).c_str(), &oInfo), 0);
  EXPECT_EQ(oInfo.st_mode & 0777, 0600u);
}

TEST_F(SettingsEditorTest, EditorsOfSeveralThreadsLoseNoLine) {
  constexpr int kPerThread = 40;
  auto fnAdd = [this](const char* szPrefix) {
    for (int i = 0; i < kPerThread; ++i) {
      CSettingsEditor oEditor(m_oFolder.Path());
      EXPECT_TRUE(oEditor.AddLine("URLS", szPrefix + std::to_string(i))) << oEditor.GetLastError();
    }
  };
  std::thread oFirst(fnAdd, "http://a/");
  std::thread oSecond(fnAdd, "http://b/");
  oFirst.join();
  oSecond.join();
  ASSERT_TRUE(m_oEditor.Load());
  EXPECT_EQ(m_oEditor.GetSectionLines("URLS").size(), 2u * kPerThread);
}

}  // namespace
}  // namespace wdx
