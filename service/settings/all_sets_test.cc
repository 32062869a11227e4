#include "service/settings/all_sets.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <utility>
#include <vector>

#include "foundation/ram_file.h"
#include "service/host/wdx_codes.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_folder.h"

namespace wdx {
namespace {

// Writes AutoSet.caf with the given lines and loads it into a settings aggregate.
class AllSetsTest : public ::testing::Test {
 protected:
  bool Load(const std::vector<std::string>& oLines) {
    CRamFile oWriter;
    oWriter.Initialize(m_oFolder.Path().c_str(), WDX_SETTINGS_FILE);
    if (!oWriter.LoadToRamFromListBox(oLines) || !oWriter.SaveToFile()) return false;
    m_pKeyFile = std::make_unique<CRamFileRO>();
    m_oSets.m_pKeyFile = m_pKeyFile.get();
    m_oSets.m_oStrWorkingFolder.Assign(m_oFolder.Path().c_str());
    return m_oSets.ReInitialize();
  }

  // What another writer (the console) saves meanwhile.
  void WriteOnDisk(const std::vector<std::string>& oLines) {
    CRamFile oWriter;
    oWriter.Initialize(m_oFolder.Path().c_str(), WDX_SETTINGS_FILE);
    ASSERT_TRUE(oWriter.LoadToRamFromListBox(oLines));
    ASSERT_TRUE(oWriter.SaveToFile());
  }
  std::vector<std::string> ReadFromDisk() {
    CRamFile oReader;
    EXPECT_TRUE(oReader.Initialize(m_oFolder.Path().c_str(), WDX_SETTINGS_FILE));
    return oReader.GetLines();
  }
  unsigned FileMode() {
    struct stat oInfo = {};
    stat(m_oFolder.File(WDX_SETTINGS_FILE).c_str(), &oInfo);
    return oInfo.st_mode & 0777;
  }

  test::CTempFolder m_oFolder;
  std::unique_ptr<CRamFileRO> m_pKeyFile;
  CAllSets m_oSets;
};

TEST_F(AllSetsTest, AnEmptyFileGivesEveryDefault) {
  ASSERT_TRUE(Load({}));
  EXPECT_EQ(m_oSets.m_iMinuteInterval, 10);
  EXPECT_EQ(m_oSets.m_iRestarterSeconds, 300);
  EXPECT_EQ(m_oSets.m_iRestartsB4Reboot, 0);
  EXPECT_EQ(m_oSets.m_iSensitivity, 5);
  EXPECT_TRUE(m_oSets.m_bWatch);
  EXPECT_FALSE(m_oSets.m_bEmailEnabled);
  EXPECT_FALSE(m_oSets.m_bPhoneAlertsEnabled);
  EXPECT_EQ(m_oSets.m_iLastKnownServerState, ZUV_SERVER_UP);
  EXPECT_TRUE(m_oSets.m_oStrLogonId.IsEmpty());
}

TEST_F(AllSetsTest, RestarterSecondsFollowTheScanPeriod) {
  ASSERT_TRUE(Load({"[KEYS]", "MinuteInterval=1"}));
  EXPECT_EQ(m_oSets.m_iRestarterSeconds, 30);
  ASSERT_TRUE(Load({"[KEYS]", "MinuteInterval=0"}));
  EXPECT_EQ(m_oSets.m_iMinuteInterval, 0);
  EXPECT_EQ(m_oSets.m_iRestarterSeconds, 15);
  ASSERT_TRUE(Load({"[KEYS]", "MinuteInterval=7", "RstrSecs=99"}));
  EXPECT_EQ(m_oSets.m_iRestarterSeconds, 99);
  // A text without a number is 0, not the default.
  ASSERT_TRUE(Load({"[KEYS]", "MinuteInterval=soon", "Sensitivity=12abc"}));
  EXPECT_EQ(m_oSets.m_iMinuteInterval, 0);
  EXPECT_EQ(m_oSets.m_iSensitivity, 12);
}

TEST_F(AllSetsTest, MetricsFileIsTrimmedAndEmptyMeansOff) {
  for (const auto& [sLine, sPath] : std::vector<std::pair<std::string, std::string>>{
           {"MetricsFile= /var/lib/x/wardenix.prom ", "/var/lib/x/wardenix.prom"},
           {"MetricsFile=   ", ""},
           {"Sensitivity=5", ""}}) {
    ASSERT_TRUE(Load({"[KEYS]", sLine}));
    EXPECT_STREQ(m_oSets.m_oStrMetricsFile.c_str(), sPath.c_str()) << sLine;
  }
}

TEST_F(AllSetsTest, FlagsAreTrueOnlyForOneOrT) {
  ASSERT_TRUE(Load({"[KEYS]", "WATCH=0", "EmailEnabled=t", "LogEvents=TRUE", "GOS= 1 "}));
  EXPECT_FALSE(m_oSets.m_bWatch);
  EXPECT_TRUE(m_oSets.m_bEmailEnabled);
  EXPECT_FALSE(m_oSets.m_bLogEvents);
  EXPECT_TRUE(m_oSets.m_bAutoStart);
  ASSERT_TRUE(Load({"[KEYS]", "WATCH=TRUE"}));
  EXPECT_FALSE(m_oSets.m_bWatch);
  ASSERT_TRUE(Load({"[KEYS]", "watch=T"}));
  EXPECT_TRUE(m_oSets.m_bWatch);
}

TEST_F(AllSetsTest, ServerStateComesFromItsText) {
  ASSERT_TRUE(Load({"[KEYS]", "SvrStatus=rebooting"}));
  EXPECT_EQ(m_oSets.m_iLastKnownServerState, ZUV_FAILS_DETECTED_SERVER_REBOOTONG);
  ASSERT_TRUE(Load({"[KEYS]", "SvrStatus=Restarting"}));
  EXPECT_EQ(m_oSets.m_iLastKnownServerState, ZUV_FAILS_DETECTED_SERVER_RESTARTING);
  ASSERT_TRUE(Load({"[KEYS]", "SvrStatus=Down"}));
  EXPECT_EQ(m_oSets.m_iLastKnownServerState, ZUV_SERVER_UP);
}

// The service's save changes only "SvrStatus", in the file as another writer left it.
TEST_F(AllSetsTest, SaveChangesOnlyTheServerStateOfTheFileOnDisk) {
  ASSERT_TRUE(Load({"[KEYS]", "AdminId=ops"}));
  EXPECT_EQ(m_oSets.m_iMinuteInterval, 10);
  const std::vector<std::string> oConsole = {"[KEYS]", "AdminId=ops", "MinuteInterval=3", "[URLS]",
                                             "http://127.0.0.1/new"};
  WriteOnDisk(oConsole);
  m_oSets.m_iLastKnownServerState = ZUV_FAILS_DETECTED_SERVER_RESTARTING;
  ASSERT_TRUE(m_oSets.SaveSettings());
  EXPECT_EQ(ReadFromDisk(),
            (std::vector<std::string>{"[KEYS]", "AdminId=ops", "MinuteInterval=3",
                                      "SvrStatus=Restarting", "[URLS]", "http://127.0.0.1/new"}));
  EXPECT_EQ(FileMode(), 0600u);
  // A file that cannot be read is never written over.
  m_oFolder.Write(WDX_SETTINGS_FILE, std::string(3000, 'Q'));
  m_oSets.m_iLastKnownServerState = ZUV_SERVER_UP;
  EXPECT_FALSE(m_oSets.SaveSettings());
  EXPECT_EQ(m_oFolder.Read(WDX_SETTINGS_FILE), std::string(3000, 'Q'));
}

TEST_F(AllSetsTest, ReadAfreshTakesTheFileAsItIsAndKeepsTheServerState) {
  ASSERT_TRUE(Load({"[KEYS]", "MinuteInterval=7", "SvrStatus=Up"}));
  m_oSets.m_iLastKnownServerState = ZUV_FAILS_DETECTED_SERVER_REBOOTONG;
  WriteOnDisk({"[KEYS]", "MinuteInterval=3", "SvrStatus=Up", "[URLS]", "http://127.0.0.1/new"});
  ASSERT_TRUE(m_oSets.ReadAfresh());
  EXPECT_EQ(m_oSets.m_iMinuteInterval, 3);
  EXPECT_STREQ(m_oSets.m_pUrls->GetAt(0), "http://127.0.0.1/new");
  EXPECT_EQ(m_oSets.m_pKeyFile->GetFirstLineOfSection("[URLS]"), "http://127.0.0.1/new");
  EXPECT_EQ(m_oSets.m_iLastKnownServerState, ZUV_FAILS_DETECTED_SERVER_REBOOTONG);
  // A damaged file leaves the settings in force as they were.
  m_oFolder.Write(WDX_SETTINGS_FILE, std::string(3000, 'Q'));
  EXPECT_FALSE(m_oSets.ReadAfresh());
  EXPECT_EQ(m_oSets.m_iMinuteInterval, 3);
  EXPECT_EQ(m_oSets.m_pKeyFile->GetKeyValue("MinuteInterval"), "3");
}

TEST(AllSets, NumbersAreCheckedAgainstTheirRange) {
  struct SCase {
    const char* szKey;
    const char* szValue;
    const char* szStored;  // nullptr: refused
  };
  const SCase aCases[] = {
      {"MinuteInterval", "abc", nullptr},
      {"MinuteInterval", "-5", nullptr},
      {"MinuteInterval", "0", nullptr},
      {"MinuteInterval", "1", "1"},
      {"minuteinterval", " 1440 ", " 1440 "},
      {"MinuteInterval", "1441", nullptr},
      {"MinuteInterval", "5.5", nullptr},
      {"MinuteInterval", "99999999999999999999", nullptr},
      {"MinuteInterval", "", ""},
      {"RestartsB4Reboot", "abc", nullptr},
      {"RestartsB4Reboot", "0", "0"},
      {"RestartsB4Reboot", "101", nullptr},
      {"Sensitivity", "-1", nullptr},
      {"Sensitivity", "0", "0"},
      {"Sensitivity", "+100", "+100"},
      {"Sensitivity", "101", nullptr},
      {"RstrSecs", "5", "15"},
      {"RstrSecs", "-5", "15"},
      {"RstrSecs", "86400", "86400"},
      {"RstrSecs", "86401", nullptr},
      {"UrlTimeout", "0", nullptr},
      {"UrlTimeout", "600", "600"},
      {"UrlTimeout", "601", nullptr},
      {"AdminId", "abc", "abc"},
  };
  for (const SCase& oCase : aCases) {
    std::string sValue = oCase.szValue;
    const std::string sReason = CAllSets::CheckNumber(oCase.szKey, sValue);
    if (oCase.szStored != nullptr) {
      EXPECT_EQ(sReason, "") << oCase.szKey << "=" << oCase.szValue;
      EXPECT_EQ(sValue, oCase.szStored) << oCase.szKey << "=" << oCase.szValue;
      continue;
    }
    const CAllSets::SNumberRule* pRule = CAllSets::FindNumberRule(oCase.szKey);
    ASSERT_NE(pRule, nullptr) << oCase.szKey;
    EXPECT_EQ(sReason, std::string(pRule->szKey) + " takes a whole number from " +
                           std::to_string(pRule->iMin) + " to " + std::to_string(pRule->iMax) +
                           ", not \"" + oCase.szValue + "\".");
  }
}

TEST_F(AllSetsTest, PhoneAlertsNeedBothMessagesAndAnEnabledNumber) {
  const std::vector<std::string> oBase = {"[KEYS]", "PNum3=5551234", "PE3=1", "MsgDown=down"};
  ASSERT_TRUE(Load(oBase));
  EXPECT_FALSE(m_oSets.m_bPhoneAlertsEnabled);
  std::vector<std::string> oWithUp = oBase;
  oWithUp.push_back("MsgUp=up");
  ASSERT_TRUE(Load(oWithUp));
  EXPECT_TRUE(m_oSets.m_bPhoneAlertsEnabled);
  EXPECT_STREQ(m_oSets.m_aoStrPhoneNumber[2].c_str(), "5551234");
  ASSERT_TRUE(Load({"[KEYS]", "PNum1=5551234", "PE1=0", "PE2=1", "MsgDown=d", "MsgUp=u"}));
  EXPECT_FALSE(m_oSets.m_bPhoneAlertsEnabled);
}

TEST_F(AllSetsTest, ListSectionsFillTheirTablesUpToTheirSize) {
  std::vector<std::string> oLines = {"[KEYS]", "AdminId=a", "[EMAILS]"};
  for (int i = 0; i < 120; ++i) oLines.push_back("ops" + std::to_string(i) + "@example.org");
  oLines.insert(oLines.end(), {"[URLS]", "http://127.0.0.1/", "[PROGS]", "/usr/bin/app"});
  ASSERT_TRUE(Load(oLines));
  EXPECT_STREQ(m_oSets.m_pEmails->GetAt(99), "ops99@example.org");
  EXPECT_EQ(m_oSets.m_pEmails->GetAt(100), nullptr);
  EXPECT_STREQ(m_oSets.m_pUrls->GetAt(0), "http://127.0.0.1/");
  EXPECT_STREQ(m_oSets.m_pProgramsToStart->GetAt(0), "/usr/bin/app");
  EXPECT_STREQ(m_oSets.m_pRemoteUrls->GetAt(0), "");
}

TEST_F(AllSetsTest, UrlTimeoutIsClampedAndBadValuesAreLogged) {
  struct SCase {
    const char* m_szText;
    int m_iSeconds;
    bool m_bLogged;
  };
  const SCase aCases[] = {{"", 120, false},          {"5", 5, false},    {" 600 ", 600, false},
                          {"1", 1, false},           {"0", 1, true},     {"601", 600, true},
                          {"-5", 1, true},           {"abc", 120, true}, {"12s", 120, true},
                          {"99999999999", 600, true}};
  for (const SCase& oCase : aCases) {
    test::CLogCapture oLog;
    ASSERT_TRUE(Load({"[KEYS]", std::string("UrlTimeout=") + oCase.m_szText}));
    EXPECT_EQ(m_oSets.m_iUrlTimeout, oCase.m_iSeconds) << oCase.m_szText;
    EXPECT_EQ(oLog.Text().find("UrlTimeout \"") != std::string::npos, oCase.m_bLogged)
        << oCase.m_szText;
  }
  ASSERT_TRUE(Load({"[KEYS]", "AdminId=a"}));
  EXPECT_EQ(m_oSets.m_iUrlTimeout, WDX_URL_TIMEOUT_DEFAULT_S);
}

TEST(AllSets, RefusesToLoadWithoutKeyFileOrFolder) {
  CAllSets oSets;
  EXPECT_FALSE(oSets.ReInitialize());
  EXPECT_FALSE(oSets.SaveSettings());
}

}  // namespace
}  // namespace wdx
