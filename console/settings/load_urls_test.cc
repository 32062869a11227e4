#include "console/settings/load_urls.h"

#include <sys/stat.h>

#include "console/settings/restarter_defs.h"
#include "console/settings/settings_test_fixture.h"

namespace wdx {
namespace {

using LoadUrlsTest = test::CSettingsDialogTest;

TEST(LoadUrls, SaveNormalisesTheTypedEntry) {
  struct SCase {
    const char* szTyped;
    const char* szStored;
  };
  for (const SCase& oCase :
       {SCase{"www.site.test/a", "http://www.site.test/a"},
        SCase{"  host:8080/x  ", "http://host:8080/x"},
        SCase{"https://secure.test/", "http://secure.test/"},
        SCase{"ftp://files.test/a//b", "http://files.test/a//b"},
        SCase{"//bare.test", "http://bare.test"}, SCase{"http://ok.test/", "http://ok.test/"},
        SCase{"   ", ""}, SCase{"", ""}}) {
    EXPECT_EQ(CLoadURLs::NormalizeUrl(oCase.szTyped), oCase.szStored) << oCase.szTyped;
  }
}

TEST_F(LoadUrlsTest, OkWritesTheWholeListAsItsSectionOnly) {
  WriteFile({"[KEYS]", "AdminId=ops", "[URLS]", "http://old/", "[RURLS]", "http://remote/"});
  CLoadURLs oDialog(Folder(), "URLS");
  ASSERT_TRUE(oDialog.Open());
  EXPECT_EQ(oDialog.GetEntries(), std::vector<std::string>{"http://old/"});
  const SDialogOutcome oOutcome = oDialog.Ok({"http://b/", " ", "http://a/ "});
  EXPECT_TRUE(oOutcome.m_bAccepted && oOutcome.m_bClosed && oOutcome.m_oMessages.empty());
  EXPECT_EQ(FileLines(), (std::vector<std::string>{"[KEYS]", "AdminId=ops", "[URLS]", "http://b/",
                                                   "http://a/", "[RURLS]", "http://remote/"}));
  // A section that is not there yet is added at the end; an empty list leaves its header.
  CLoadURLs oRemote(Folder(), "RURLS");
  ASSERT_TRUE(oRemote.Ok({}).m_bAccepted);
  WriteFile({"[KEYS]", "AdminId=ops"});
  ASSERT_TRUE(CLoadURLs(Folder(), "RURLS").Ok({"http://r/"}).m_bAccepted);
  EXPECT_EQ(FileLines(),
            (std::vector<std::string>{"[KEYS]", "AdminId=ops", "[RURLS]", "http://r/"}));
}

TEST_F(LoadUrlsTest, EntriesThatCannotStandInTheFileAreRefused) {
  WriteFile({"[URLS]", "http://keep/"});
  for (const std::string& sBad :
       {std::string("http://a/[x]"), std::string(300, 'a'), std::string("http://\t/")}) {
    const SDialogOutcome oOutcome = CLoadURLs(Folder(), "URLS").Ok({"http://fine/", sBad});
    EXPECT_FALSE(oOutcome.m_bAccepted);
    EXPECT_NE(oOutcome.m_sError.find("Entry 2 of the list"), std::string::npos)
        << oOutcome.m_sError;
  }
  EXPECT_EQ(Section("URLS"), std::vector<std::string>{"http://keep/"});
}

TEST_F(LoadUrlsTest, RestarterListsAreSavedTogetherWithTheRestartNote) {
  WriteFile({"[PROGS]", "/old/start", "[STOPS]", "/old/watch", "[KEYS]", "AdminId=ops"});
  CRestarterDefs oDialog(Folder());
  ASSERT_TRUE(oDialog.Open());
  EXPECT_EQ(oDialog.GetMonitored(), std::vector<std::string>{"/old/watch"});
  EXPECT_EQ(oDialog.GetStarted(), std::vector<std::string>{"/old/start"});
  const SDialogOutcome oOutcome = oDialog.Ok({"/usr/bin/a", "/usr/bin/b"}, {"/usr/bin/c"});
  EXPECT_TRUE(oOutcome.m_bAccepted && oOutcome.m_bClosed);
  EXPECT_EQ(oOutcome.m_oMessages, std::vector<std::string>{"You must now shut down then restart "
                                                           "Wardenix \r\nto make your chages "
                                                           "effective."});
  EXPECT_EQ(FileLines(), (std::vector<std::string>{"[PROGS]", "/usr/bin/c", "[STOPS]", "/usr/bin/a",
                                                   "/usr/bin/b", "[KEYS]", "AdminId=ops"}));
  // One bad entry in either list: nothing of both is written.
  EXPECT_FALSE(oDialog.Ok({"/x"}, {"/y[1]"}).m_sError.empty());
  EXPECT_EQ(Section("STOPS"), (std::vector<std::string>{"/usr/bin/a", "/usr/bin/b"}));
}

TEST_F(LoadUrlsTest, NewTakesTheFullPathOfAnExistingFile) {
  m_oFolder.Write("long program name.sh", "#!/bin/sh\n");
  EXPECT_EQ(CRestarterDefs::CheckProgramFile(Folder() + "long program name.sh"), "");
  EXPECT_EQ(CRestarterDefs::CheckProgramFile(" " + Folder() + "long program name.sh "), "");
  EXPECT_EQ(CRestarterDefs::CheckProgramFile(Folder() + "absent"),
            "There is no file " + Folder() + "absent.");
  EXPECT_NE(CRestarterDefs::CheckProgramFile(Folder()), "");  // a folder is not a program
  EXPECT_EQ(CRestarterDefs::CheckProgramFile("bin/app"),
            "Give the program's full path, beginning with \"/\".");
  ASSERT_EQ(mkdir((Folder() + "sub").c_str(), 0755), 0);
  std::vector<SFolderEntry> oEntries;
  ASSERT_TRUE(CRestarterDefs::ListFolder(Folder(), oEntries));
  ASSERT_EQ(oEntries.size(), 2u);
  EXPECT_EQ(oEntries[0].m_sName, "sub");  // folders first
  EXPECT_TRUE(oEntries[0].m_bFolder);
  EXPECT_EQ(oEntries[1].m_sName, "long program name.sh");
  EXPECT_FALSE(oEntries[1].m_bFolder);
  EXPECT_FALSE(CRestarterDefs::ListFolder(Folder() + "absent/", oEntries));
}

}  // namespace
}  // namespace wdx
