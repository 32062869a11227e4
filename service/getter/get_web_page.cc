#include "service/getter/get_web_page.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "foundation/process_log.h"
#include "service/getter/http_exchange.h"
#include "service/getter/http_url.h"

namespace wdx {
namespace {

constexpr const char* kNotHttp = "CGetWebPage:: can only use URLs beginning with http:////";
constexpr const char* kAbandoned =
    "CGetWebPage:: request abandoned, the service is stopping. URL: ";
constexpr size_t kMaxErrorText = 1024;
constexpr size_t kMaxLoggedUrl = WDX_URL_MAX_LENGTH;
constexpr size_t kMaxOptionLength = 64;

// Options shared by every getter of the process.
std::atomic<int> g_iAccessType{WDX_URL_ACCESS_PROXY};
std::atomic<bool> g_bProgressMode{false};
std::atomic<bool> g_bReload{true};

// Test-only settings.
std::mutex g_oTestMutex;
std::string g_sCaFile;
SUrlTimeouts g_oTimeouts;

bool IsControl(char cChar) {
  const auto uChar = static_cast<unsigned char>(cChar);
  return uChar < 0x20 || uChar == 0x7f;
}

// Text safe for one log line: control bytes as %XX, cut after kMaxLoggedUrl bytes.
std::string ForLog(const std::string& sText, size_t uMax = kMaxLoggedUrl) {
  std::string sOut;
  for (size_t i = 0; i < sText.size() && i < uMax; ++i) {
    if (IsControl(sText[i])) {
      char szHex[4];
      std::snprintf(szHex, sizeof(szHex), "%%%02X", static_cast<unsigned char>(sText[i]));
      sOut += szHex;
    } else {
      sOut += sText[i];
    }
  }
  if (sText.size() > uMax) sOut += "...";
  return sOut;
}

void LogError(const std::string& sText) {
  ZuvLogError(sText.c_str());
}

bool IsRefused(const std::string& sUrl) {
  if (sUrl.size() > static_cast<size_t>(WDX_URL_MAX_LENGTH)) return true;
  return std::any_of(sUrl.begin(), sUrl.end(), IsControl);
}

bool IsBlank(char cChar) {
  return cChar == ' ' || cChar == '\t' || cChar == '\r';
}

// The value of the first Location header: a header line whose name, at the start of the line,
// is "Location" in any case, followed by a colon; blanks around the value are dropped. An empty
// value counts as no location.
bool FindLocation(const std::string& sHeaders, std::string& sLocation) {
  constexpr std::string_view kName = "location";
  size_t uLine = sHeaders.find('\n');  // the status line is not a header
  while (uLine != std::string::npos) {
    const size_t uStart = uLine + 1;
    uLine = sHeaders.find('\n', uStart);
    const size_t uEnd = uLine == std::string::npos ? sHeaders.size() : uLine;
    if (uEnd - uStart <= kName.size() || sHeaders[uStart + kName.size()] != ':') continue;
    bool bSame = true;
    for (size_t i = 0; i < kName.size() && bSame; ++i) {
      bSame = std::tolower(static_cast<unsigned char>(sHeaders[uStart + i])) == kName[i];
    }
    if (!bSame) continue;
    size_t uFrom = uStart + kName.size() + 1;
    size_t uTo = uEnd;
    while (uFrom < uTo && IsBlank(sHeaders[uFrom])) ++uFrom;
    while (uTo > uFrom && IsBlank(sHeaders[uTo - 1])) --uTo;
    sLocation = sHeaders.substr(uFrom, uTo - uFrom);
    return !sLocation.empty();
  }
  return false;
}

bool IsRedirect(int iStatus) {
  return iStatus == 301 || iStatus == 302 || iStatus == 303;
}

std::vector<std::string> HeaderLines() {
  std::vector<std::string> oLines = {"Accept: text/*", "User-Agent: MFC_Tear_Sample"};
  if (g_bReload.load()) {
    oLines.push_back("Cache-Control: no-cache");
    oLines.push_back("Pragma: no-cache");
  }
  return oLines;
}

// "text (detail)" of a transport failure, on one line, at most kMaxErrorText characters.
std::string DescribeFailure(const SHttpOutcome& oOutcome) {
  std::string sText = oOutcome.m_sError;
  if (!oOutcome.m_sDetail.empty()) sText += " (" + oOutcome.m_sDetail + ")";
  return ForLog(sText, kMaxErrorText);
}

}  // namespace

CGetWebPage::CGetWebPage() : CZuvBase("CGetWebPage") {}

CGetWebPage::~CGetWebPage() = default;

bool CGetWebPage::ParseOptions(const char* szOptions) {
  const std::string sOptions = szOptions == nullptr ? "" : szOptions;
  CZuvStr oOptions(sOptions.size() <= kMaxOptionLength ? sOptions.c_str() : "");
  const bool bComparable = sOptions.size() <= kMaxOptionLength && !oOptions.IsEmpty();
  if (bComparable && oOptions.EqualsNoCase("D")) {
    g_iAccessType = WDX_URL_ACCESS_PROXY;
  } else if (bComparable && oOptions.EqualsNoCase("L")) {
    g_iAccessType = WDX_URL_ACCESS_DIRECT;
  } else if (bComparable && oOptions.EqualsNoCase("P")) {
    g_bProgressMode = true;
  } else if (!bComparable || !(oOptions.EqualsNoCase("S") || oOptions.EqualsNoCase("F"))) {
    LogError("CGetWebPage::ParseOptions unrecognized option: " + ForLog(sOptions, 256));
    return false;
  }
  g_bReload = true;
  return true;
}

int CGetWebPage::Go(const char* szOptions, const char* szUrl) {
  m_iStatusCode = 1;
  m_sUrl = szUrl == nullptr ? "" : szUrl;
  if (!ParseOptions(szOptions)) {
    LogError("CGetWebPage Go: " + ForLog(m_sUrl));
    LogError("CGetWebPage:: bad params.");
    return 1;
  }
  return Fetch();
}

bool CGetWebPage::IsOk() const {
  return m_iStatusCode >= 200 && m_iStatusCode < 300;
}

int CGetWebPage::Fetch() {
  ZuvLogEvent(("CGetWebPage Go: " + ForLog(m_sUrl)).c_str());
  if (IsRefused(m_sUrl)) {
    LogError("CGetWebPage:: refused a URL longer than " + std::to_string(WDX_URL_MAX_LENGTH) +
             " characters or holding control characters");
    return EndWith(1);
  }
  SHttpUrl oUrl;
  if (ParseHttpUrl(m_sUrl, oUrl) != EUrlKind::kHttp) {
    LogError(kNotHttp);
    return EndWith(1);
  }
  if (g_bProgressMode.load()) LogError("CGetWebPage:: Opening Internet...");
  SHttpOutcome oOutcome;
  if (!Send(oUrl, oOutcome)) return EndWithTransportError(oOutcome);
  if (oOutcome.m_iStatus == 401) {
    LogError("CGetWebPage:: Access denied: Invalid password");
    return EndWith(1);
  }
  if (IsRedirect(oOutcome.m_iStatus)) {
    const int iCode = FollowRedirect(oUrl, oOutcome);
    if (iCode != 0) return iCode;
  }
  ZuvLogEvent(("CGetWebPage::  Got status code " + std::to_string(m_iStatusCode)).c_str());
  return 0;
}

bool CGetWebPage::Send(const SHttpUrl& oUrl, SHttpOutcome& oOutcome) {
  SHttpLimits oLimits;
  {
    std::lock_guard<std::mutex> oLock(g_oTestMutex);
    oLimits.m_iConnectMs = g_oTimeouts.m_iConnectMs;
    oLimits.m_iNoDataSeconds = g_oTimeouts.m_iLowSpeedSeconds;
    oLimits.m_sCaFile = g_sCaFile;
    // The whole request is bounded by this getter's time limit; a test may only shorten it.
    oLimits.m_iTotalMs = m_iTimeLimitSeconds * 1000;
    if (g_oTimeouts.m_iTotalMs != WDX_URL_TOTAL_TIMEOUT_MS) {
      oLimits.m_iTotalMs = std::min(oLimits.m_iTotalMs, g_oTimeouts.m_iTotalMs);
    }
  }
  oLimits.m_iConnectMs = std::min(oLimits.m_iConnectMs, oLimits.m_iTotalMs);
  oLimits.m_fnCancelled = m_fnCancelled;
  oLimits.m_bUseProxy = g_iAccessType.load() != WDX_URL_ACCESS_DIRECT;
  oLimits.m_uMaxHeaderBytes = WDX_URL_MAX_HEADER_BYTES;
  if (g_bProgressMode.load()) oLimits.m_fnConnected = [] { ZuvLogEvent("Connection made!"); };
  if (!HttpGet(oUrl, HeaderLines(), oLimits, oOutcome)) return false;
  m_iStatusCode = oOutcome.m_iStatus;
  return true;
}

int CGetWebPage::FollowRedirect(const SHttpUrl& oFrom, SHttpOutcome& oOutcome) {
  std::string sLocation;
  if (!FindLocation(oOutcome.m_sHeaders, sLocation)) {
    LogError("CGetWebPage:: Site redirects with no new location");
    return EndWith(2);
  }
  if (g_bProgressMode.load()) LogError("CGetWebPage:: Caution: redirected to " + ForLog(sLocation));
  SHttpUrl oUrl;
  const EUrlKind eKind = IsRefused(sLocation)
                             ? EUrlKind::kUnparsable
                             : ParseHttpUrl(ResolveUrl(oFrom.Whole(), sLocation), oUrl);
  switch (eKind) {
    case EUrlKind::kHttp:
      break;
    case EUrlKind::kOtherScheme:
      LogError("CGetWebPage::  this redirected URL does not reference a HTTP resource:");
      LogError(ForLog(sLocation));
      return EndWith(2);
    default:
      LogError("CGetWebPage:: this redirected URL could not be parsed: ");
      LogError(ForLog(sLocation));
      return EndWith(2);
  }
  if (!Send(oUrl, oOutcome)) return EndWithTransportError(oOutcome);
  if (oOutcome.m_iStatus != 200) {
    LogError("CGetWebPage::  Got status code " + std::to_string(oOutcome.m_iStatus));
    return EndWith(2);
  }
  return 0;
}

int CGetWebPage::EndWith(int iCode) const {
  LogError("CGetWebPage::  Exception " + std::to_string(iCode) + " for this URL: ");
  LogError(ForLog(m_sUrl));
  return iCode;
}

int CGetWebPage::EndWithTransportError(const SHttpOutcome& oOutcome) const {
  if (oOutcome.m_bCancelled) {
    ZuvLogEvent((std::string(kAbandoned) + ForLog(m_sUrl)).c_str());
    return 2;
  }
  LogError("CGetWebPage::  HTTP client Exception " + std::to_string(oOutcome.m_iError) + ": " +
           DescribeFailure(oOutcome) + " for this URL: ");
  LogError(ForLog(m_sUrl));
  return 2;
}

void CGetWebPage::SetCancelCheck(std::function<bool()> fnCancelled) {
  m_fnCancelled = std::move(fnCancelled);
}

void CGetWebPage::SetTimeLimit(int iWholeSeconds) {
  m_iTimeLimitSeconds = std::clamp(iWholeSeconds, 1, 1000000);
}

int CGetWebPage::GetAccessType() {
  return g_iAccessType.load();
}

bool CGetWebPage::IsProgressMode() {
  return g_bProgressMode.load();
}

bool CGetWebPage::IsReloadSet() {
  return g_bReload.load();
}

void CGetWebPage::ResetOptionsForTesting() {
  g_iAccessType = WDX_URL_ACCESS_PROXY;
  g_bProgressMode = false;
  g_bReload = true;
}

void CGetWebPage::SetCaFileForTesting(const std::string& sPath) {
  std::lock_guard<std::mutex> oLock(g_oTestMutex);
  g_sCaFile = sPath;
}

void CGetWebPage::SetTimeoutsForTesting(const SUrlTimeouts& oTimeouts) {
  std::lock_guard<std::mutex> oLock(g_oTestMutex);
  g_oTimeouts = oTimeouts;
}

}  // namespace wdx
