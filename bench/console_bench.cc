// Measures the web console as an operator meets it: the time from starting `wardenix console`
// to its first line (the address) and to the first page served (the token login and the 200 of
// "/"), p50 and max over several starts in one program folder; then the page's weight: the
// requests a browser makes for it (the page, every file it names under /assets/, the session)
// and their bytes.
//
//   build/bench/console_bench [starts]
#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "tests/support/console_fixture.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point tFrom, Clock::time_point tTo) {
  return std::chrono::duration<double, std::milli>(tTo - tFrom).count();
}

// Logs in with the token; the session cookie, "" on failure.
std::string Login(httplib::Client& oClient, const std::string& sToken) {
  httplib::Result oReply = oClient.Get("/?token=" + sToken);
  if (!oReply || oReply->status != 303) return "";
  const std::string sCookie = oReply->get_header_value("Set-Cookie");
  return sCookie.substr(0, sCookie.find(';'));
}

void Report(const char* szWhat, std::vector<double> oMs) {
  std::sort(oMs.begin(), oMs.end());
  std::printf("%s: p50 %.1f ms, max %.1f ms (%zu starts)\n", szWhat, oMs[oMs.size() / 2],
              oMs.back(), oMs.size());
}

// The page and what it names under /assets/, fetched as a browser does.
bool PageWeight(wdx::test::CConsoleFixture& oConsole) {
  httplib::Client oClient("127.0.0.1", oConsole.Port());
  const httplib::Headers oCookie = {{"Cookie", Login(oClient, oConsole.Token())}};
  httplib::Result oPage = oClient.Get("/", oCookie);
  if (!oPage || oPage->status != 200) return false;
  std::set<std::string> oAssets;
  const std::regex oRef("(?:href|src)=\"(/assets/[^\"]+)\"");
  for (std::sregex_iterator it(oPage->body.begin(), oPage->body.end(), oRef), end; it != end; ++it)
    oAssets.insert((*it)[1].str());
  oAssets.insert("/api/session");
  size_t uBytes = oPage->body.size();
  for (const std::string& sPath : oAssets) {
    httplib::Result oReply = oClient.Get(sPath, oCookie);
    if (!oReply || oReply->status != 200) {
      std::fprintf(stderr, "%s: not served\n", sPath.c_str());
      return false;
    }
    uBytes += oReply->body.size();
  }
  std::printf("page: %zu requests (the page, %zu assets, the session), %zu bytes (page %zu)\n",
              oAssets.size() + 1, oAssets.size() - 1, uBytes, oPage->body.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const int iStarts = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
  wdx::test::CConsoleFixture oConsole;
  std::vector<double> oFirstLine;
  std::vector<double> oFirstPage;
  for (int i = 0; i < iStarts; ++i) {
    const Clock::time_point tStart = Clock::now();
    if (!oConsole.Start()) {
      std::fprintf(stderr, "the console did not start: %s\n", oConsole.FirstLine().c_str());
      return 1;
    }
    const Clock::time_point tLine = Clock::now();
    httplib::Client oClient("127.0.0.1", oConsole.Port());
    httplib::Result oPage = oClient.Get("/", {{"Cookie", Login(oClient, oConsole.Token())}});
    const Clock::time_point tPage = Clock::now();
    if (!oPage || oPage->status != 200) {
      std::fprintf(stderr, "no first page\n");
      return 1;
    }
    oFirstLine.push_back(Ms(tStart, tLine));
    oFirstPage.push_back(Ms(tStart, tPage));
    if (i + 1 == iStarts && !PageWeight(oConsole)) return 1;
    if (oConsole.Stop() != 0) {
      std::fprintf(stderr, "the console did not end cleanly\n");
      return 1;
    }
  }
  Report("start to address line", oFirstLine);
  Report("start to first page served", oFirstPage);
  return 0;
}
