// The metrics file of the real wdxsvc in GO mode, read back by the Prometheus client library's
// own parser while a local URL that the test serves goes down and comes back.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/ram_file.h"
#include "service/host/wdx_client.h"
#include "service/host/wdx_codes.h"
#include "tests/support/service_fixture.h"
#include "tests/support/test_site.h"

namespace wdx::test {
namespace {

// Prints "NAME<tab>TYPE-LABEL<tab>NAME-LABEL<tab>VALUE" per sample; "ERROR ..." when the file
// does not parse.
const char* const kParser = R"(import sys
from prometheus_client.parser import text_string_to_metric_families
try:
    text = open(sys.argv[1], encoding='utf-8').read()
    for family in text_string_to_metric_families(text):
        for s in family.samples:
            print(s.name, s.labels.get('type', ''), s.labels.get('name', ''), s.value, sep='\t')
except FileNotFoundError:
    pass
except Exception as e:
    print('ERROR', repr(e).replace('\n', ' '))
)";

using Samples = std::map<std::string, double>;

class MetricsExport : public ::testing::Test {
 protected:
  MetricsExport() : m_oFixture(600) {}  // a service minute is 100 ms

  void StartGo(const std::string& sMetricsFile, int iLocalStatus) {
    CRamFile oFile;
    oFile.Initialize(m_oFixture.Home().c_str(), "AutoSet.caf");
    ASSERT_TRUE(oFile.LoadToRamFromListBox(
        {"[KEYS]", "AdminId=operator", "Password=pw", "MachineName=test-host", "MinuteInterval=1",
         "RestartsB4Reboot=0", "MetricsFile=" + sMetricsFile, "[URLS]", m_oSite.Url("/local")}));
    ASSERT_TRUE(oFile.SaveToFile());
    m_oSite.m_iLocalStatus = iLocalStatus;
    ASSERT_EQ(m_oFixture.RunService({"-RegServer"}).m_iExitCode, 0);
    ASSERT_TRUE(m_oFixture.StartServiceProcess());
    m_pClient = m_oFixture.Connect();
    ASSERT_NE(m_pClient, nullptr);
    int iResult = 0;
    ASSERT_TRUE(m_pClient->OpsCommand(WDX_GO, iResult)) << m_pClient->GetLastError();
    ASSERT_EQ(iResult, WDX_TRUE);
  }

  // The file as Debian's Prometheus client parses it, keyed "name|type|name-label".
  Samples Parse() {
    const SRunResult oRun = m_oFixture.Run("/usr/bin/python3", {"-c", kParser, MetricsPath()});
    EXPECT_EQ(oRun.m_iExitCode, 0) << oRun.m_sErr;
    EXPECT_EQ(oRun.m_sOut.find("ERROR"), std::string::npos) << oRun.m_sOut;
    Samples oSamples;
    std::istringstream oLines(oRun.m_sOut);
    for (std::string sLine; std::getline(oLines, sLine);) {
      std::vector<std::string> oFields;
      std::istringstream oLine(sLine);
      for (std::string sField; std::getline(oLine, sField, '\t');) oFields.push_back(sField);
      if (oFields.size() != 4) continue;
      oSamples[oFields[0] + "|" + oFields[1] + "|" + oFields[2]] = std::stod(oFields[3]);
    }
    return oSamples;
  }

  // Parses the file until fnDone holds, for up to a minute; the last parse is kept.
  bool WaitForSamples(const std::function<bool(const Samples&)>& fnDone) {
    const auto oEnd = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < oEnd) {
      m_oLast = Parse();
      if (fnDone(m_oLast)) return true;
      usleep(50'000);
    }
    return false;
  }

  double Value(const std::string& sKey) const {
    const auto it = m_oLast.find(sKey);
    return it == m_oLast.end() ? -1 : it->second;
  }
  std::string LocalUrl() const { return m_oSite.Url("/local"); }
  std::string UrlKey() const { return "wardenix_item_up|url|" + LocalUrl(); }
  std::string MetricsPath() const { return m_oFixture.Home() + "wardenix.prom"; }

  void TearDown() override {
    if (HasFailure()) std::fprintf(stderr, "WDXSVC.log:\n%s\n", m_oFixture.LogText().c_str());
  }

  CServiceFixture m_oFixture;
  CTestSite m_oSite;
  std::unique_ptr<CWdxSvrClient> m_pClient;
  Samples m_oLast;
};

TEST_F(MetricsExport, ALocalUrlGoesDownAndComesBack) {
  StartGo(MetricsPath(), 200);
  ASSERT_TRUE(WaitForSamples([&](const Samples&) { return Value(UrlKey()) == 1; }));
  EXPECT_EQ(Value("wardenix_go_mode||"), 1);
  EXPECT_EQ(Value("wardenix_server_state||"), ZUV_SERVER_UP);
  EXPECT_EQ(Value("wardenix_restarts_total||"), 0);
  EXPECT_EQ(Value("wardenix_reboots_total||"), 0);
  const double dFirstCycle = Value("wardenix_last_cycle_timestamp_seconds||");
  EXPECT_GT(dFirstCycle, 1.6e9);
  EXPECT_GE(Value("wardenix_last_cycle_duration_seconds||"), 0);

  m_oSite.m_iLocalStatus = 500;
  ASSERT_TRUE(WaitForSamples([&](const Samples&) {
    return Value(UrlKey()) == 0 && Value("wardenix_restarts_total||") >= 1;
  })) << Value(UrlKey());
  EXPECT_EQ(Value("wardenix_server_state||"), ZUV_FAILS_DETECTED_SERVER_RESTARTING);
  EXPECT_EQ(Value("wardenix_ops_state||"), WDX_STATE_FAILING);
  EXPECT_GT(Value("wardenix_last_cycle_timestamp_seconds||"), dFirstCycle);
  const double dRestarts = Value("wardenix_restarts_total||");

  // The restart's own check may see the URL up before the next cycle passes and says so.
  m_oSite.m_iLocalStatus = 200;
  ASSERT_TRUE(WaitForSamples([&](const Samples&) {
    return Value(UrlKey()) == 1 && Value("wardenix_server_state||") == ZUV_SERVER_UP;
  })) << Value(UrlKey())
      << " " << Value("wardenix_server_state||");
  EXPECT_GE(Value("wardenix_restarts_total||"), dRestarts);  // a counter never goes back
  EXPECT_EQ(Value("wardenix_reboots_total||"), 0);
  EXPECT_EQ(m_oFixture.CountInLog("MetricsFile: "), 0);

  // STOP leaves the file saying that GO mode is off.
  int iResult = 0;
  ASSERT_TRUE(m_pClient->OpsCommand(WDX_STOP, iResult));
  ASSERT_TRUE(WaitForSamples([&](const Samples&) { return Value("wardenix_go_mode||") == 0; }));
}

TEST_F(MetricsExport, AMissingFolderCostsOneLogLineAndGoGoesOn) {
  const std::string sPath = m_oFixture.Home() + "no-such-folder/wardenix.prom";
  StartGo(sPath, 200);
  const auto oEnd = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (m_oFixture.CountInLog("COpsMngrThread::Go 13") < 3 &&
         std::chrono::steady_clock::now() < oEnd) {
    usleep(20'000);
  }
  ASSERT_GE(m_oFixture.CountInLog("COpsMngrThread::Go 13"), 3);
  EXPECT_EQ(m_oFixture.CountInLog(("MetricsFile: cannot write " + sPath +
                                   " (No such file or directory); GO mode goes on without it.")
                                      .c_str()),
            1);
  int iResult = 0;
  ASSERT_TRUE(m_pClient->OpsCommand(WDX_IS_GO_MODE, iResult));
  EXPECT_EQ(iResult, WDX_TRUE);
}

}  // namespace
}  // namespace wdx::test
