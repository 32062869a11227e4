// The uptime report as an operator makes it: wardenix report in a program folder holding the
// real UtRpt.sh, wdxcall and WdReport.so of this build, over a made-up UpTime.log whose answers
// are known; the HTML is read back.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <regex>
#include <string>
#include <vector>

#include "tests/support/service_fixture.h"
#include "tests/support/temp_folder.h"

namespace wdx::test {
namespace {

constexpr time_t kNow = 1796040000;  // a whole minute
constexpr time_t kHour = 3600;
constexpr time_t kDay = 24 * kHour;

std::string Dist(const std::string& sName) {
  return std::string(WDX_DIST_DIR) + "/" + sName;
}

std::string Stamp(time_t llWhen) {
  struct tm oTm = {};
  gmtime_r(&llWhen, &oTm);
  char szText[32];
  strftime(szText, sizeof szText, "%m/%d/%y %H:%M:%S", &oTm);
  return szText;
}

std::string Event(time_t llAgo, int iType, const std::string& sName, const char* szState) {
  return Stamp(kNow - llAgo) + " (event): " + std::to_string(iType) + ", " + sName + ", " +
         szState + "\r\r\n";
}

// The report's section of the named (escaped) item, or "".
std::string Section(const std::string& sHtml, const std::string& sEscapedName) {
  const size_t uAt = sHtml.find("<h2>" + sEscapedName + " <small>");
  if (uAt == std::string::npos) return "";
  return sHtml.substr(uAt, sHtml.find("</section>", uAt) - uAt);
}

std::string Percentage(const std::string& sSection, const std::string& sWindow) {
  std::smatch oMatch;
  const std::regex oPattern("data-window=\"" + sWindow + "\">([^<]*)<");
  return std::regex_search(sSection, oMatch, oPattern) ? oMatch[1].str() : "missing";
}

// The outage rows of a window as "start|end|length".
std::vector<std::string> Outages(const std::string& sSection, const std::string& sWindow) {
  std::vector<std::string> oRows;
  const size_t uTable = sSection.find("<table class=\"outages\" data-window=\"" + sWindow + "\"");
  if (uTable == std::string::npos) return oRows;
  const std::string sTable = sSection.substr(uTable, sSection.find("</table>", uTable) - uTable);
  const std::regex oRow("<tr class=\"outage\"><td>([^<]*)</td><td>([^<]*)</td><td>([^<]*)</td>");
  for (std::sregex_iterator it(sTable.begin(), sTable.end(), oRow), end; it != end; ++it)
    oRows.push_back((*it)[1].str() + "|" + (*it)[2].str() + "|" + (*it)[3].str());
  return oRows;
}

std::string Shown(time_t llAgo) {  // a time as the report shows it
  const time_t llWhen = kNow - llAgo;
  struct tm oTm = {};
  gmtime_r(&llWhen, &oTm);
  char szText[32];
  strftime(szText, sizeof szText, "%Y-%m-%d %H:%M", &oTm);
  return szText;
}

class UptimeReport : public testing::Test {
 protected:
  void SetUp() override {
    for (const char* szName : {"wdxcall", "wdxregsvr", "WdReport.so", "UtRpt.sh"})
      ASSERT_EQ(symlink(Dist(szName).c_str(), m_oFixture.Folder().File(szName).c_str()), 0);
    setenv("TZ", "UTC", 1);
    setenv("WDX_REPORT_NOW", std::to_string(kNow).c_str(), 1);
  }
  void TearDown() override {
    unsetenv("WDX_REPORT_NOW");
    unsetenv("TZ");
  }
  void Add(const char* szSection, const std::string& sLine) {
    const SRunResult oRun = m_oFixture.RunConsole({"settings", "add", szSection, sLine});
    ASSERT_EQ(oRun.m_iExitCode, 0) << oRun.m_sErr;
  }
  std::string Report() {
    const SRunResult oRun = m_oFixture.RunConsole({"report"});
    EXPECT_EQ(oRun.m_iExitCode, 0) << oRun.m_sErr;
    EXPECT_EQ(oRun.m_sOut, m_oFixture.Folder().File("UptimeReport.html") + "\n");
    m_sErr = oRun.m_sErr;
    return m_oFixture.Folder().Read("UptimeReport.html");
  }

  CServiceFixture m_oFixture;
  std::string m_sErr;
};

TEST_F(UptimeReport, KnownAnswersReadBackFromTheHtml) {
  const std::string sOdd = "<b>&\"q\" 'x'";
  Add("URLS", "http://a/");
  Add("RURLS", sOdd);
  Add("STOPS", "/usr/bin/stopped");
  Add("URLS", "http://never/");
  Add("URLS", "http://flappy/");
  std::string sLog = Stamp(kNow - 50 * kDay) + " (message): banner\r\r\n";
  sLog += Event(40 * kDay, 100, "/usr/bin/stopped", "UP");  // only before the 30 days
  sLog += Event(10 * kDay, 102, sOdd, "UP");
  sLog += "garbage without a stamp\r\r\n" + std::string(300, 'x') + "\r\r\n";
  sLog += Event(30 * kHour, 101, "http://a/", "DN");
  sLog += Event(18 * kHour, 101, "http://a/", "UP");
  sLog += Event(2 * kHour, 102, sOdd, "DN");
  sLog += Event(1 * kHour, 102, "http://a/", "DN");   // another type: not the URL
  sLog += Event(1 * kHour, 101, "http://a/x", "DN");  // a name that begins alike
  for (time_t k = 0; k < 200; ++k) {                  // 200 outages of 3 minutes, every 6 minutes
    sLog += Event((1200 - 6 * k) * 60, 101, "http://flappy/", "DN");
    sLog += Event((1197 - 6 * k) * 60, 101, "http://flappy/", "UP");
  }
  sLog += "12/0";  // a torn last line
  m_oFixture.Folder().Write("UpTime.log", sLog);

  const std::string sHtml = Report();
  ASSERT_NE(sHtml.find("</html>"), std::string::npos) << m_sErr;
  EXPECT_EQ(sHtml.find("<script"), std::string::npos);
  struct SCase {
    std::string sName;  // escaped as the page shows it
    const char* aPercent[3];
    std::vector<std::string> oOutages24h;
  };
  const std::vector<SCase> oCases = {
      {"http://a/",
       {"75.0 %", "60.0 %", "60.0 %"},
       {Shown(30 * kHour) + "|" + Shown(18 * kHour) + "|12h 0m"}},
      {"&lt;b&gt;&amp;&quot;q&quot; &#39;x&#39;",
       {"91.7 %", "98.8 %", "99.2 %"},
       {Shown(2 * kHour) + "|ongoing|2h 0m"}},
      {"/usr/bin/stopped", {"100.0 %", "100.0 %", "100.0 %"}, {}},
      {"http://never/", {"n/a", "n/a", "n/a"}, {}},
      {"http://flappy/", {"50.0 %", "50.0 %", "50.0 %"}, {}},
  };
  for (const SCase& oCase : oCases) {
    const std::string sSection = Section(sHtml, oCase.sName);
    ASSERT_NE(sSection, "") << oCase.sName << "\n" << sHtml;
    const char* aWindows[] = {"24 hours", "7 days", "30 days"};
    for (int i = 0; i < 3; ++i)
      EXPECT_EQ(Percentage(sSection, aWindows[i]), oCase.aPercent[i])
          << oCase.sName << " " << aWindows[i];
    if (oCase.sName == "http://flappy/") {  // the latest 100 of 200 outages are listed
      EXPECT_EQ(Outages(sSection, "30 days").size(), 100u);
      EXPECT_NE(sSection.find("data-count=\"200\">200 outages; the latest 100"), std::string::npos);
    } else {
      EXPECT_EQ(Outages(sSection, "24 hours"), oCase.oOutages24h) << oCase.sName;
    }
  }
  EXPECT_EQ(sHtml.find(sOdd), std::string::npos) << "a name left unescaped";
}

TEST_F(UptimeReport, RendersInChromiumWithoutProblemsOrNetwork) {
  Add("URLS", "http://a/");
  Add("RURLS", "<b>&\"q\" 'x'");
  m_oFixture.Folder().Write("UpTime.log", "banner\r\r\n" + Event(30 * kHour, 101, "http://a/", "DN") +
                                              Event(18 * kHour, 101, "http://a/", "UP"));
  Report();
  const std::string sOutput = std::string(WDX_TEST_OUTPUT_DIR) + "UptimeReport";
  ASSERT_EQ(system(("mkdir -p '" + sOutput + "'").c_str()), 0);
  const std::string sPng = sOutput + "/UptimeReport.png";
  unlink(sPng.c_str());
  const SRunResult oRun = m_oFixture.Run(
      "/usr/bin/node", {std::string(WDX_SOURCE_DIR) + "tests/browser/render_page.js",
                        m_oFixture.Folder().File("UptimeReport.html"), sPng});
  ASSERT_EQ(oRun.m_iExitCode, 0) << oRun.m_sOut << oRun.m_sErr;
  // Two items, three timelines each.
  EXPECT_NE(oRun.m_sOut.find("\"title\":\"Uptime report\",\"svgs\":6,\"problems\":[],\"others\":[]"),
            std::string::npos)
      << oRun.m_sOut;
  const std::string sImage = ReadWholeFile(sPng);
  EXPECT_GT(sImage.size(), 1000u);
  EXPECT_EQ(sImage.substr(0, 8), "\x89PNG\r\n\x1a\n");
}

TEST_F(UptimeReport, ALinkedScriptFindsTheProgramsBesideWhatItLinksTo) {
  // As a package leaves the program folder: a link to UtRpt.sh and none of the programs.
  for (const char* szName : {"wdxcall", "wdxregsvr", "WdReport.so"})
    ASSERT_EQ(unlink(m_oFixture.Folder().File(szName).c_str()), 0);
  Add("URLS", "http://a/");
  m_oFixture.Folder().Write("UpTime.log", "banner\r\r\n" +
                                              Event(30 * kHour, 101, "http://a/", "DN") +
                                              Event(18 * kHour, 101, "http://a/", "UP"));
  const std::string sSection = Section(Report(), "http://a/");
  EXPECT_EQ(Percentage(sSection, "24 hours"), "75.0 %") << m_sErr;
}

TEST_F(UptimeReport, NonAsciiNamesFromParamsKeptAsUtf8) {
  // The settings take ASCII lines only; RParams.txt written by hand may hold any UTF-8.
  const std::string sName = "caf\xC3\xA9 <\xE2\x82\xAC>";
  m_oFixture.Folder().Write("RParams.txt", "@STOPS@\r\n" + sName + "\r\n");
  m_oFixture.Folder().Write("UpTime.log", "banner\r\r\n" + Event(30 * kHour, 100, sName, "DN") +
                                              Event(18 * kHour, 100, sName, "UP"));
  const SRunResult oRun = m_oFixture.Run(m_oFixture.Folder().File("UtRpt.sh"), {});
  ASSERT_EQ(oRun.m_iExitCode, 0) << oRun.m_sErr;
  const std::string sSection =
      Section(m_oFixture.Folder().Read("UptimeReport.html"), "caf\xC3\xA9 &lt;\xE2\x82\xAC&gt;");
  EXPECT_EQ(Percentage(sSection, "24 hours"), "75.0 %") << sSection;
}

TEST_F(UptimeReport, NoItemsGiveAClearMessageAndAnEmptyValidPage) {
  // No list section: RParams.txt is written empty.
  std::string sHtml = Report();
  EXPECT_NE(m_sErr.find("RParams.txt is missing or lists no item"), std::string::npos) << m_sErr;
  EXPECT_NE(sHtml.find("<p class=\"empty\">"), std::string::npos);
  EXPECT_NE(sHtml.find("</body></html>"), std::string::npos);
  // RParams.txt missing: the script alone.
  ASSERT_EQ(unlink(m_oFixture.Folder().File("RParams.txt").c_str()), 0);
  ASSERT_EQ(unlink(m_oFixture.Folder().File("UptimeReport.html").c_str()), 0);
  const SRunResult oRun = m_oFixture.Run(m_oFixture.Folder().File("UtRpt.sh"), {});
  EXPECT_EQ(oRun.m_iExitCode, 0) << oRun.m_sErr;
  EXPECT_NE(oRun.m_sErr.find("RParams.txt is missing"), std::string::npos) << oRun.m_sErr;
  EXPECT_NE(m_oFixture.Folder().Read("UptimeReport.html").find("<p class=\"empty\">"),
            std::string::npos);
}

}  // namespace
}  // namespace wdx::test
