#include "service/ops/item_manager.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "foundation/log_file.h"
#include "platform/clock.h"
#include "platform/fake_clock.h"
#include "platform/named_lock.h"
#include "tests/support/child_process.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_folder.h"

namespace wdx {
namespace {

using test::CChildProcess;
using test::CLogCapture;
using test::CTempFolder;

constexpr const char* kStamp = "12/06/26 11:33:53";
constexpr const char* kBanner =
    "12/06/26 11:33:53 Message: ///////////////////////////////////////////\r\r\n"
    "12/06/26 11:33:53 Message: /////////// ItemManager Started ///////////\r\r\n";

std::string EventLine(const std::string& sText) {
  return std::string(kStamp) + " (event): " + sText + "\r\r\n";
}

// A fake clock standing at 6 December 2026, 11:33:53 for one test.
class CStoppedClock final {
 public:
  CStoppedClock() {
    m_oClock.SetLocalTime(SLocalTime{2026, 12, 6, 11, 33, 53});
    SetClockForTesting(&m_oClock);
  }
  ~CStoppedClock() { SetClockForTesting(nullptr); }
  CStoppedClock(const CStoppedClock&) = delete;
  CStoppedClock& operator=(const CStoppedClock&) = delete;

 private:
  CFakeClock m_oClock;
};

// Makes a file of iBytes bytes without writing them (a sparse file).
bool MakeSizedFile(const std::string& sPath, off_t iBytes) {
  const int iFd = open(sPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (iFd < 0) return false;
  const bool bSized = ftruncate(iFd, iBytes) == 0;
  close(iFd);
  return bSized;
}

off_t SizeOf(const std::string& sPath) {
  struct stat oInfo;
  return stat(sPath.c_str(), &oInfo) == 0 ? oInfo.st_size : -1;
}

// Points the named locks of this process and its children at a private folder while it lives.
class CPrivateLockFolder final {
 public:
  CPrivateLockFolder() {
    if (const char* szOld = std::getenv("WDX_LOCK_DIR")) m_sOld = szOld;
    setenv("WDX_LOCK_DIR", m_oFolder.Path().c_str(), 1);
  }
  ~CPrivateLockFolder() {
    if (m_sOld.empty()) {
      unsetenv("WDX_LOCK_DIR");
    } else {
      setenv("WDX_LOCK_DIR", m_sOld.c_str(), 1);
    }
  }
  CPrivateLockFolder(const CPrivateLockFolder&) = delete;
  CPrivateLockFolder& operator=(const CPrivateLockFolder&) = delete;

 private:
  CTempFolder m_oFolder;
  std::string m_sOld;
};

class ItemManagerTest : public ::testing::Test {
 protected:
  // A manager initialised in the test folder; the banner lines are taken off the log.
  void Start() {
    m_oManager.SetLogDirectory(m_oFolder.Path().c_str());
    ASSERT_TRUE(m_oManager.ReInitialize());
    ASSERT_EQ(UpTime(), kBanner);
    m_oFolder.Write("UpTime.log", "");
  }
  std::string UpTime() const { return m_oFolder.Read("UpTime.log"); }
  bool Update(int iType, const char* szName, int iState) {
    bool bChanged = true;
    EXPECT_TRUE(m_oManager.Update(iType, szName, iState, bChanged));
    return bChanged;
  }

  CPrivateLockFolder m_oLocks;  // first: the locks of the members below are made in it
  CTempFolder m_oFolder;
  CStoppedClock m_oClock;
  CLogCapture m_oServiceLog;
  CItemManager m_oManager;
};

// --- the state rule ---

TEST(ItemStateRule, FirstReportCountsOnlyWhenDown) {
  EXPECT_FALSE(IsItemStateChange(ITEM_UNKNOWN, ITEM_UP));
  EXPECT_TRUE(IsItemStateChange(ITEM_UNKNOWN, ITEM_DOWN));
  EXPECT_TRUE(IsItemStateChange(ITEM_UP, ITEM_DOWN));
  EXPECT_TRUE(IsItemStateChange(ITEM_DOWN, ITEM_UP));
  EXPECT_FALSE(IsItemStateChange(ITEM_UP, ITEM_UP));
  EXPECT_FALSE(IsItemStateChange(ITEM_DOWN, ITEM_DOWN));
  EXPECT_FALSE(IsItemStateChange(ITEM_UNKNOWN, ITEM_UNKNOWN));
}

TEST_F(ItemManagerTest, NewItemReportedUpWritesLineButIsNoChange) {
  Start();
  ASSERT_TRUE(m_oManager.AddItem(ITEM_LOCAL_URL, "http://x/"));
  EXPECT_FALSE(Update(ITEM_LOCAL_URL, "http://x/", ITEM_UP));
  EXPECT_EQ(m_oManager.GetItemRef(ITEM_LOCAL_URL, "http://x/")->GetState(), ITEM_UP);
  EXPECT_EQ(UpTime(), "12/06/26 11:33:53 (event): 101, http://x/, UP\r\r\n");
}

TEST_F(ItemManagerTest, DownDownUpSequence) {
  Start();
  ASSERT_TRUE(m_oManager.AddItem(ITEM_REMOTE_URL, "http://far/"));
  EXPECT_TRUE(Update(ITEM_REMOTE_URL, "http://far/", ITEM_DOWN));
  EXPECT_FALSE(Update(ITEM_REMOTE_URL, "http://far/", ITEM_DOWN));
  EXPECT_TRUE(Update(ITEM_REMOTE_URL, "http://far/", ITEM_UP));
  EXPECT_FALSE(Update(ITEM_REMOTE_URL, "http://far/", ITEM_UP));
  EXPECT_TRUE(Update(ITEM_REMOTE_URL, "http://far/", ITEM_DOWN));
  EXPECT_EQ(UpTime(), EventLine("102, http://far/, DN") + EventLine("102, http://far/, DN") +
                          EventLine("102, http://far/, UP") + EventLine("102, http://far/, UP") +
                          EventLine("102, http://far/, DN"));
}

TEST_F(ItemManagerTest, RestartItemLines) {
  Start();
  ASSERT_TRUE(m_oManager.AddItem(ITEM_RESTART, "Restart"));
  EXPECT_FALSE(Update(ITEM_RESTART, "Restart", ITEM_UP));
  EXPECT_TRUE(Update(ITEM_RESTART, "Restart", ITEM_DOWN));
  EXPECT_EQ(UpTime(), EventLine("103, Restart, UP") + EventLine("103, Restart, DN"));
}

// --- finding items ---

TEST_F(ItemManagerTest, DuplicatesAreKeptButOnlyTheFirstIsUpdated) {
  Start();
  ASSERT_TRUE(m_oManager.AddItem(ITEM_LOCAL_URL, "http://dup/"));
  ASSERT_TRUE(m_oManager.AddItem(ITEM_LOCAL_URL, "http://dup/"));
  EXPECT_EQ(m_oManager.GetItemCount(ITEM_LOCAL_URL), 2);
  EXPECT_TRUE(Update(ITEM_LOCAL_URL, "http://dup/", ITEM_DOWN));
  EXPECT_FALSE(Update(ITEM_LOCAL_URL, "http://dup/", ITEM_DOWN));
  // Find the second by giving the first another image name.
  m_oManager.GetItemRef(ITEM_LOCAL_URL, "http://dup/")->SetImageName("first");
  CItem* pSecond = m_oManager.GetRefByImageName(ITEM_LOCAL_URL, "");
  ASSERT_NE(pSecond, nullptr);
  EXPECT_EQ(pSecond->GetName(), "http://dup/");
  EXPECT_EQ(pSecond->GetState(), ITEM_UNKNOWN);
}

// The logged state follows the UP and DN lines, the programs' UP lines included.
TEST_F(ItemManagerTest, LoggedStateFollowsTheLines) {
  Start();
  ASSERT_TRUE(m_oManager.AddItem(ITEM_PROGRAM, "one"));
  ASSERT_TRUE(m_oManager.AddItem(ITEM_PROGRAM, "two"));
  m_oManager.GetItemRef(ITEM_PROGRAM, "two")->SetImageName("two.bin");
  const auto fnLogged = [&] {
    std::string sStates;
    for (const CItem* pItem : m_oManager.GetItems(ITEM_PROGRAM)) {
      sStates += pItem->GetName() + "=" + std::to_string(pItem->GetLoggedState()) + " ";
    }
    return sStates;
  };
  EXPECT_EQ(fnLogged(), "one=100 two=100 ");
  m_oManager.LogProgramsUp("two.bin");  // stops before "two"
  EXPECT_EQ(fnLogged(), "one=102 two=100 ");
  Update(ITEM_PROGRAM, "two", ITEM_DOWN);
  EXPECT_EQ(fnLogged(), "one=102 two=101 ");
  Update(ITEM_PROGRAM, "one", ITEM_UNKNOWN);  // no line, so the logged state stays
  m_oManager.LogProgramsUp("not watched");
  EXPECT_EQ(fnLogged(), "one=102 two=102 ");
  EXPECT_TRUE(m_oManager.GetItems(ITEM_LOCAL_URL).empty());
  EXPECT_TRUE(m_oManager.GetItems(7).empty());
}

TEST_F(ItemManagerTest, NamesDifferingInCaseAreTheSameItem) {
  Start();
  ASSERT_TRUE(m_oManager.AddItem(ITEM_LOCAL_URL, "http://Host/Page"));
  EXPECT_TRUE(Update(ITEM_LOCAL_URL, "HTTP://host/page", ITEM_DOWN));
  EXPECT_FALSE(Update(ITEM_LOCAL_URL, "http://host/PAGE", ITEM_DOWN));
  EXPECT_EQ(m_oManager.GetItemRef(ITEM_LOCAL_URL, "http://HOST/page")->GetState(), ITEM_DOWN);
  // The line carries the name as it was reported.
  EXPECT_EQ(UpTime(),
            EventLine("101, HTTP://host/page, DN") + EventLine("101, http://host/PAGE, DN"));
}

TEST(ItemNameMatch, CaseFoldingIsOnlyLetterCaseAndWholeText) {
  EXPECT_TRUE(EqualsIgnoringCase("AbC", "aBc"));
  EXPECT_TRUE(EqualsIgnoringCase("", nullptr));
  EXPECT_FALSE(EqualsIgnoringCase("abc", "abcd"));
  EXPECT_FALSE(EqualsIgnoringCase("abc ", "abc"));
  EXPECT_FALSE(EqualsIgnoringCase("[", "{"));  // ASCII neighbours of letters stay apart
  EXPECT_FALSE(EqualsIgnoringCase("\xc4", "\xe4"));
}

TEST_F(ItemManagerTest, ImageNameLookupIgnoresCase) {
  Start();
  ASSERT_TRUE(m_oManager.AddItem(ITEM_PROGRAM, "/usr/sbin/nginx -g daemon"));
  CItem* pItem = m_oManager.GetItemRef(ITEM_PROGRAM, "/usr/sbin/nginx -g daemon");
  ASSERT_NE(pItem, nullptr);
  EXPECT_EQ(pItem->GetType(), ITEM_PROGRAM);
  ASSERT_TRUE(pItem->SetImageName("nginx"));
  EXPECT_EQ(m_oManager.GetRefByImageName(ITEM_PROGRAM, "NGINX"), pItem);
  EXPECT_EQ(m_oManager.GetRefByImageName(ITEM_PROGRAM, "apache2"), nullptr);
  EXPECT_TRUE(m_oServiceLog.HasError("CItemManager::GetRefByImageName() failed for apache2"));
}

TEST_F(ItemManagerTest, UpdateOfUnknownNameChangesNothing) {
  Start();
  ASSERT_TRUE(m_oManager.AddItem(ITEM_LOCAL_URL, "http://x/"));
  bool bChanged = true;
  EXPECT_FALSE(m_oManager.Update(ITEM_LOCAL_URL, "http://y/", ITEM_DOWN, bChanged));
  EXPECT_FALSE(bChanged);
  EXPECT_TRUE(m_oServiceLog.HasError("CItemManager::GetItemRef() failed for http://y/"));
  EXPECT_TRUE(m_oServiceLog.HasError("CItemManager::Update() failed for http://y/"));
  EXPECT_EQ(m_oManager.GetItemRef(ITEM_LOCAL_URL, "http://x/")->GetState(), ITEM_UNKNOWN);
  EXPECT_EQ(UpTime(), "");
}

TEST_F(ItemManagerTest, UpdateWithUnknownTypeFails) {
  Start();
  ASSERT_TRUE(m_oManager.AddItem(ITEM_LOCAL_URL, "http://x/"));
  bool bChanged = true;
  EXPECT_FALSE(m_oManager.Update(104, "http://x/", ITEM_DOWN, bChanged));
  EXPECT_FALSE(bChanged);
  EXPECT_EQ(m_oManager.GetItemRef(99, "http://x/"), nullptr);
  EXPECT_EQ(m_oServiceLog.CountErrors("CItemManager::GetItemRef() failed for http://x/"), 2);
  EXPECT_EQ(UpTime(), "");
}

// --- adding items ---

TEST_F(ItemManagerTest, UnknownTypeIsRefusedWithBothErrors) {
  Start();
  EXPECT_FALSE(m_oManager.AddItem(99, "odd"));
  EXPECT_FALSE(m_oManager.AddItem(104, "odder"));
  EXPECT_EQ(m_oServiceLog.CountErrors("CItemManager::AddItem() calle with unknown TYPE"), 2);
  EXPECT_TRUE(m_oServiceLog.HasError("CItemManager::AddItem() failed for odd"));
  EXPECT_TRUE(m_oServiceLog.HasError("CItemManager::AddItem() failed for odder"));
  EXPECT_EQ(m_oManager.GetItemCount(99), -1);
}

TEST_F(ItemManagerTest, ListHoldsAtMost4096Items) {
  Start();
  for (int i = 0; i < ITEM_MAX_PER_TYPE; ++i) {
    ASSERT_TRUE(m_oManager.AddItem(ITEM_LOCAL_URL, ("u" + std::to_string(i)).c_str()));
  }
  EXPECT_FALSE(m_oManager.AddItem(ITEM_LOCAL_URL, "one too many"));
  EXPECT_TRUE(m_oServiceLog.HasError("CItemManager::AddItem() failed for one too many"));
  EXPECT_FALSE(m_oServiceLog.HasError("CItemManager::AddItem() calle with unknown TYPE"));
  EXPECT_EQ(m_oManager.GetItemCount(ITEM_LOCAL_URL), ITEM_MAX_PER_TYPE);
  // The last one that fitted is still found, and other types have their own room.
  EXPECT_TRUE(Update(ITEM_LOCAL_URL, "u4095", ITEM_DOWN));
  EXPECT_TRUE(m_oManager.AddItem(ITEM_REMOTE_URL, "one too many"));
}

TEST_F(ItemManagerTest, OverlongNameIsRefusedWithShortenedError) {
  Start();
  const std::string sLongest(ITEM_MAX_NAME_LENGTH, 'n');
  EXPECT_TRUE(m_oManager.AddItem(ITEM_PROGRAM, sLongest.c_str()));
  const std::string sGarbage(100'000, 'g');
  EXPECT_FALSE(m_oManager.AddItem(ITEM_PROGRAM, sGarbage.c_str()));
  EXPECT_TRUE(m_oServiceLog.HasError("CItemManager::AddItem() failed for " +
                                     sGarbage.substr(0, ITEM_MAX_NAME_LENGTH)));
  EXPECT_EQ(m_oManager.GetItemCount(ITEM_PROGRAM), 1);
  CItem* pItem = m_oManager.GetItemRef(ITEM_PROGRAM, sLongest.c_str());
  ASSERT_NE(pItem, nullptr);
  EXPECT_FALSE(pItem->SetImageName(sGarbage.c_str()));
  EXPECT_EQ(pItem->GetImageName(), "");
  bool bChanged = true;
  EXPECT_FALSE(m_oManager.Update(ITEM_PROGRAM, sGarbage.c_str(), ITEM_UP, bChanged));
  EXPECT_FALSE(bChanged);
  EXPECT_EQ(UpTime(), "");
}

TEST_F(ItemManagerTest, OverlongLogDirectoryIsRefusedAndTheOldOneKept) {
  m_oManager.SetLogDirectory(m_oFolder.Path().c_str());
  m_oManager.SetLogDirectory(std::string(5000, 'd').c_str());
  EXPECT_TRUE(m_oServiceLog.HasError(
      "CItemManager::SetLogDirectory() failed: the folder name is too long."));
  EXPECT_EQ(std::string(m_oManager.GetLogDirectory()), m_oFolder.Path());
}

TEST_F(ItemManagerTest, ReInitializeAndClearDeleteEveryItem) {
  Start();
  ASSERT_TRUE(m_oManager.AddItem(ITEM_PROGRAM, "a"));
  ASSERT_TRUE(m_oManager.AddItem(ITEM_RESTART, "Restart"));
  ASSERT_TRUE(m_oManager.ReInitialize());
  EXPECT_EQ(m_oManager.GetItemCount(ITEM_PROGRAM), 0);
  EXPECT_EQ(m_oManager.GetItemCount(ITEM_RESTART), 0);
  ASSERT_TRUE(m_oManager.AddItem(ITEM_LOCAL_URL, "b"));
  m_oManager.Clear();
  EXPECT_EQ(m_oManager.GetItemCount(ITEM_LOCAL_URL), 0);
}

// --- LogProgramsUp ---

class LogProgramsUpTest : public ItemManagerTest {
 protected:
  // Programs a (image "a.bin"), b ("B.bin"), c (no image yet), d ("d.bin").
  void AddPrograms() {
    Start();
    for (const char* szName : {"/opt/a", "/opt/b", "/opt/c", "/opt/d"}) {
      ASSERT_TRUE(m_oManager.AddItem(ITEM_PROGRAM, szName));
    }
    m_oManager.GetItemRef(ITEM_PROGRAM, "/opt/a")->SetImageName("a.bin");
    m_oManager.GetItemRef(ITEM_PROGRAM, "/opt/b")->SetImageName("B.bin");
    m_oManager.GetItemRef(ITEM_PROGRAM, "/opt/d")->SetImageName("d.bin");
  }
};

TEST_F(LogProgramsUpTest, EmptyImageNameStopsAtFirstItemWithoutOne) {
  AddPrograms();
  m_oManager.LogProgramsUp("");
  EXPECT_EQ(UpTime(), EventLine("100, /opt/a, UP") + EventLine("100, /opt/b, UP"));
}

TEST_F(LogProgramsUpTest, FailedImageReportsTheProgramsBeforeIt) {
  AddPrograms();
  m_oManager.LogProgramsUp("b.BIN");
  EXPECT_EQ(UpTime(), EventLine("100, /opt/a, UP"));
}

TEST_F(LogProgramsUpTest, UnknownImageNameReportsEveryProgram) {
  AddPrograms();
  m_oManager.LogProgramsUp("nothing.bin");
  EXPECT_EQ(UpTime(), EventLine("100, /opt/a, UP") + EventLine("100, /opt/b, UP") +
                          EventLine("100, /opt/c, UP") + EventLine("100, /opt/d, UP"));
}

TEST_F(LogProgramsUpTest, StatesAreLeftAlone) {
  AddPrograms();
  ASSERT_TRUE(Update(ITEM_PROGRAM, "/opt/a", ITEM_DOWN));
  m_oFolder.Write("UpTime.log", "");
  m_oManager.LogProgramsUp("nothing.bin");
  EXPECT_EQ(m_oManager.GetItemRef(ITEM_PROGRAM, "/opt/a")->GetState(), ITEM_DOWN);
  EXPECT_EQ(m_oManager.GetItemRef(ITEM_PROGRAM, "/opt/b")->GetState(), ITEM_UNKNOWN);
  // The next UP of a is still a change: LogProgramsUp did not set it.
  EXPECT_TRUE(Update(ITEM_PROGRAM, "/opt/a", ITEM_UP));
}

// --- UpTime.log ---

TEST_F(ItemManagerTest, EveryInitialisationAppendsTheBanner) {
  m_oFolder.Write("UpTime.log", EventLine("101, http://x/, UP"));
  m_oManager.SetLogDirectory(m_oFolder.Path().c_str());
  ASSERT_TRUE(m_oManager.ReInitialize());
  EXPECT_TRUE(m_oManager.IsReady());
  EXPECT_TRUE(m_oManager.IsLive());
  ASSERT_TRUE(m_oManager.ReInitialize());
  EXPECT_EQ(UpTime(), EventLine("101, http://x/, UP") + kBanner + kBanner);
}

TEST_F(ItemManagerTest, LogOfExactlyTenMillionBytesIsRotatedToUptimeOld) {
  m_oFolder.Write("Uptime.old", "older generation");
  ASSERT_TRUE(MakeSizedFile(m_oFolder.File("UpTime.log"), UPTIME_LOG_MAX_SIZE));
  m_oManager.SetLogDirectory(m_oFolder.Path().c_str());
  ASSERT_TRUE(m_oManager.ReInitialize());
  EXPECT_EQ(SizeOf(m_oFolder.File("Uptime.old")), UPTIME_LOG_MAX_SIZE);
  EXPECT_EQ(SizeOf(m_oFolder.File("UpTime.old")), -1);
  EXPECT_EQ(UpTime(), kBanner);
}

TEST_F(ItemManagerTest, LogOneByteUnderTheLimitIsKept) {
  ASSERT_TRUE(MakeSizedFile(m_oFolder.File("UpTime.log"), UPTIME_LOG_MAX_SIZE - 1));
  m_oManager.SetLogDirectory(m_oFolder.Path().c_str());
  ASSERT_TRUE(m_oManager.ReInitialize());
  // Not rotated at the start; the first banner line takes it over the limit, so the second
  // already begins the next generation.
  const std::string sBanner = kBanner;
  const size_t uSecond = sBanner.find("\r\r\n") + 3;
  EXPECT_EQ(SizeOf(m_oFolder.File("Uptime.old")),
            UPTIME_LOG_MAX_SIZE - 1 + static_cast<off_t>(uSecond));
  EXPECT_EQ(UpTime(), sBanner.substr(uSecond));
}

TEST_F(ItemManagerTest, LogThatReachesTheLimitWhileRunningIsRotatedBeforeTheNextLine) {
  const off_t iBanner = static_cast<off_t>(std::string(kBanner).size());
  const std::string sLine = EventLine("101, http://x/, UP");
  ASSERT_TRUE(MakeSizedFile(m_oFolder.File("UpTime.log"), UPTIME_LOG_MAX_SIZE - 1 - iBanner));
  m_oManager.SetLogDirectory(m_oFolder.Path().c_str());
  ASSERT_TRUE(m_oManager.ReInitialize());
  ASSERT_TRUE(m_oManager.AddItem(ITEM_LOCAL_URL, "http://x/"));
  Update(ITEM_LOCAL_URL, "http://x/", ITEM_UP);
  const off_t iFull = UPTIME_LOG_MAX_SIZE - 1 + static_cast<off_t>(sLine.size());
  EXPECT_EQ(SizeOf(m_oFolder.File("UpTime.log")), iFull);
  EXPECT_EQ(SizeOf(m_oFolder.File("Uptime.old")), -1);
  Update(ITEM_LOCAL_URL, "http://x/", ITEM_UP);
  EXPECT_EQ(SizeOf(m_oFolder.File("Uptime.old")), iFull);
  EXPECT_EQ(UpTime(), sLine);
}

TEST_F(ItemManagerTest, UnopenableLogFailsButStatesAreStillKept) {
  m_oManager.SetLogDirectory((m_oFolder.Path() + "missing/folder").c_str());
  EXPECT_FALSE(m_oManager.ReInitialize());
  EXPECT_FALSE(m_oManager.IsReady());
  EXPECT_TRUE(m_oServiceLog.HasError("CItemManager::ReInitialize() failed."));
  ASSERT_TRUE(m_oManager.AddItem(ITEM_LOCAL_URL, "http://x/"));
  EXPECT_TRUE(Update(ITEM_LOCAL_URL, "http://x/", ITEM_DOWN));
  EXPECT_TRUE(Update(ITEM_LOCAL_URL, "http://x/", ITEM_UP));
  m_oManager.LogProgramsUp("");
  EXPECT_EQ(SizeOf(m_oFolder.Path() + "missing/folder/UpTime.log"), -1);
  // Once the folder is there the next initialisation works.
  ASSERT_EQ(mkdir((m_oFolder.Path() + "missing").c_str(), 0700), 0);
  ASSERT_EQ(mkdir((m_oFolder.Path() + "missing/folder").c_str(), 0700), 0);
  EXPECT_TRUE(m_oManager.ReInitialize());
  EXPECT_EQ(test::ReadWholeFile(m_oFolder.Path() + "missing/folder/UpTime.log"), kBanner);
}

TEST_F(ItemManagerTest, LineIsDroppedWhileLockIsHeldElsewhereButStateStays) {
  Start();
  ASSERT_TRUE(m_oManager.AddItem(ITEM_LOCAL_URL, "http://x/"));
  const std::string sHeld = m_oFolder.File("held");
  const std::string sKeep = m_oFolder.File("keep");
  m_oFolder.Write("keep", "");
  // The child that holds the log lock is the event log tests' "HoldLogLock" (same test program).
  CChildProcess oChild("HoldLogLock", {sHeld, sKeep});
  for (int i = 0; i < 500 && access(sHeld.c_str(), F_OK) != 0; ++i) usleep(10'000);
  ASSERT_EQ(access(sHeld.c_str(), F_OK), 0);
  EXPECT_TRUE(Update(ITEM_LOCAL_URL, "http://x/", ITEM_DOWN));
  std::remove(sKeep.c_str());
  ASSERT_EQ(oChild.Wait(5000), 0);
  EXPECT_EQ(UpTime(), "");
  EXPECT_TRUE(Update(ITEM_LOCAL_URL, "http://x/", ITEM_UP));
  EXPECT_EQ(UpTime(), EventLine("101, http://x/, UP"));
}

}  // namespace
}  // namespace wdx
