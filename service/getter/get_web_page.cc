#include "service/getter/get_web_page.h"

#include <curl/curl.h>

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

// Releases a libcurl object with its own release function.
template <auto fnRelease>
struct SCurlDeleter {
  template <typename T>
  void operator()(T* pObject) const {
    fnRelease(pObject);
  }
};
using CurlEasyPtr = std::unique_ptr<CURL, SCurlDeleter<&curl_easy_cleanup>>;
using CurlMultiPtr = std::unique_ptr<CURLM, SCurlDeleter<&curl_multi_cleanup>>;
using CurlListPtr = std::unique_ptr<curl_slist, SCurlDeleter<&curl_slist_free_all>>;
using CurlUrlPtr = std::unique_ptr<CURLU, SCurlDeleter<&curl_url_cleanup>>;
using CurlTextPtr = std::unique_ptr<char, SCurlDeleter<&curl_free>>;

bool EnsureCurlReady() {
  static std::once_flag oOnce;
  static CURLcode eInit = CURLE_FAILED_INIT;
  std::call_once(oOnce, [] { eInit = curl_global_init(CURL_GLOBAL_DEFAULT); });
  return eInit == CURLE_OK;
}

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

enum class EUrlKind { kHttp, kOtherScheme, kUnparsable, kRefused };

// Splits sUrl with the URL parser; on kHttp sNormal is the URL to request. A relative sUrl
// ("/login") is resolved against sBase when one is given, as browsers do with a redirect.
EUrlKind ClassifyUrl(const std::string& sUrl, std::string& sNormal, const std::string sBase = "") {
  if (sUrl.size() > static_cast<size_t>(WDX_URL_MAX_LENGTH)) return EUrlKind::kRefused;
  for (char cChar : sUrl) {
    if (IsControl(cChar)) return EUrlKind::kRefused;
  }
  CurlUrlPtr pUrl(curl_url());
  if (pUrl && !sBase.empty() && !sUrl.empty()) {
    curl_url_set(pUrl.get(), CURLUPART_URL, sBase.c_str(), 0);
  }
  if (!pUrl || curl_url_set(pUrl.get(), CURLUPART_URL, sUrl.c_str(), 0) != CURLUE_OK) {
    return EUrlKind::kUnparsable;
  }
  char* szScheme = nullptr;
  if (curl_url_get(pUrl.get(), CURLUPART_SCHEME, &szScheme, 0) != CURLUE_OK) {
    return EUrlKind::kUnparsable;
  }
  CurlTextPtr pScheme(szScheme);
  if (std::strcmp(szScheme, "http") != 0 && std::strcmp(szScheme, "https") != 0) {
    return EUrlKind::kOtherScheme;
  }
  char* szWhole = nullptr;
  if (curl_url_get(pUrl.get(), CURLUPART_URL, &szWhole, 0) != CURLUE_OK) {
    return EUrlKind::kUnparsable;
  }
  CurlTextPtr pWhole(szWhole);
  sNormal = szWhole;
  return EUrlKind::kHttp;
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

}  // namespace

// One libcurl handle with what its callbacks fill in.
struct CGetWebPage::SRequest {
  CurlEasyPtr m_pEasy;
  CurlMultiPtr m_pMulti;  // drives m_pEasy so that the cancel check is asked while it waits
  std::function<bool()> m_fnCancelled;
  int m_iTimeLimitMs = WDX_URL_TOTAL_TIMEOUT_MS;
  bool m_bCancelled = false;
  CurlListPtr m_pHeaderList;
  std::string m_sUrl;      // the URL being requested
  std::string m_sHeaders;  // raw headers of the last response
  bool m_bHeaderOverflow = false;
  bool m_bBodyStarted = false;
  CURLcode m_eResult = CURLE_OK;
  int m_iStatus = 0;
  char m_szErrorBuffer[CURL_ERROR_SIZE] = {};
};

namespace {

using SRequest = CGetWebPage::SRequest;

size_t OnHeader(char* pData, size_t uSize, size_t uCount, void* pUser) {
  auto* pRequest = static_cast<SRequest*>(pUser);
  const size_t uBytes = uSize * uCount;
  // A new status line starts the headers of a new response (after a 1xx answer).
  if (uBytes >= 5 && std::memcmp(pData, "HTTP/", 5) == 0) pRequest->m_sHeaders.clear();
  if (pRequest->m_sHeaders.size() + uBytes > static_cast<size_t>(WDX_URL_MAX_HEADER_BYTES)) {
    pRequest->m_bHeaderOverflow = true;
    return 0;
  }
  pRequest->m_sHeaders.append(pData, uBytes);
  return uBytes;
}

// The body is not wanted: the first bytes end the transfer.
size_t OnBody(char*, size_t uSize, size_t uCount, void* pUser) {
  if (uSize * uCount == 0) return 0;
  static_cast<SRequest*>(pUser)->m_bBodyStarted = true;
  return 0;
}

int OnConnected(void*, char*, char*, int, int) {
  ZuvLogEvent("Connection made!");
  return CURL_PREREQFUNC_OK;
}

// Collects the first failure of a row of curl_easy_setopt calls.
class COptionSetter final {
 public:
  explicit COptionSetter(CURL* pEasy) : m_pEasy(pEasy) {}
  template <typename T>
  void Set(CURLoption eOption, T value) {
    const CURLcode eResult = curl_easy_setopt(m_pEasy, eOption, value);
    if (m_eFirstFailure == CURLE_OK) m_eFirstFailure = eResult;
  }
  CURLcode Result() const { return m_eFirstFailure; }

 private:
  CURL* m_pEasy;
  CURLcode m_eFirstFailure = CURLE_OK;
};

CurlListPtr BuildHeaderList() {
  std::vector<const char*> oLines = {"Accept: text/*", "User-Agent: MFC_Tear_Sample"};
  if (g_bReload.load()) {
    oLines.push_back("Cache-Control: no-cache");
    oLines.push_back("Pragma: no-cache");
  }
  CurlListPtr pList;
  for (const char* szLine : oLines) {
    curl_slist* pHead = curl_slist_append(pList.get(), szLine);
    if (pHead == nullptr) return nullptr;
    if (!pList) pList.reset(pHead);
  }
  return pList;
}

CURLcode Configure(SRequest& oRequest) {
  SUrlTimeouts oTimeouts;
  std::string sCaFile;
  {
    std::lock_guard<std::mutex> oLock(g_oTestMutex);
    oTimeouts = g_oTimeouts;
    sCaFile = g_sCaFile;
  }
  oRequest.m_pHeaderList = BuildHeaderList();
  if (!oRequest.m_pHeaderList) return CURLE_OUT_OF_MEMORY;
  COptionSetter oSet(oRequest.m_pEasy.get());
  oSet.Set(CURLOPT_ERRORBUFFER, oRequest.m_szErrorBuffer);
  oSet.Set(CURLOPT_NOSIGNAL, 1L);
  oSet.Set(CURLOPT_PROTOCOLS_STR, "http,https");
  oSet.Set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  oSet.Set(CURLOPT_FOLLOWLOCATION, 0L);
  oSet.Set(CURLOPT_HTTPGET, 1L);
  oSet.Set(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  oSet.Set(CURLOPT_HTTPHEADER, oRequest.m_pHeaderList.get());
  oSet.Set(CURLOPT_HEADERFUNCTION, &OnHeader);
  oSet.Set(CURLOPT_HEADERDATA, &oRequest);
  oSet.Set(CURLOPT_WRITEFUNCTION, &OnBody);
  oSet.Set(CURLOPT_WRITEDATA, &oRequest);
  const int iTotalMs = std::min(oTimeouts.m_iTotalMs, oRequest.m_iTimeLimitMs);
  oSet.Set(CURLOPT_CONNECTTIMEOUT_MS,
           static_cast<long>(std::min(oTimeouts.m_iConnectMs, iTotalMs)));
  oSet.Set(CURLOPT_LOW_SPEED_LIMIT, static_cast<long>(WDX_URL_LOW_SPEED_LIMIT));
  oSet.Set(CURLOPT_LOW_SPEED_TIME, static_cast<long>(oTimeouts.m_iLowSpeedSeconds));
  oSet.Set(CURLOPT_TIMEOUT_MS, static_cast<long>(iTotalMs));
  if (g_iAccessType.load() == WDX_URL_ACCESS_DIRECT) oSet.Set(CURLOPT_NOPROXY, "*");
  if (!sCaFile.empty()) oSet.Set(CURLOPT_CAINFO, sCaFile.c_str());
  if (g_bProgressMode.load()) oSet.Set(CURLOPT_PREREQFUNCTION, &OnConnected);
  return oSet.Result();
}

// Runs the transfer of oRequest, asking its cancel check between waits of at most
// WDX_URL_CANCEL_POLL_MS. A cancelled transfer is left unfinished (m_bCancelled).
CURLcode Perform(SRequest& oRequest) {
  CURLM* pMulti = oRequest.m_pMulti.get();
  CURL* pEasy = oRequest.m_pEasy.get();
  if (curl_multi_add_handle(pMulti, pEasy) != CURLM_OK) return CURLE_FAILED_INIT;
  CURLcode eResult = CURLE_OK;
  for (;;) {
    int iRunning = 0;
    if (curl_multi_perform(pMulti, &iRunning) != CURLM_OK) {
      eResult = CURLE_FAILED_INIT;
      break;
    }
    if (iRunning == 0) {
      int iLeft = 0;
      const CURLMsg* pMessage = curl_multi_info_read(pMulti, &iLeft);
      if (pMessage != nullptr && pMessage->msg == CURLMSG_DONE) eResult = pMessage->data.result;
      break;
    }
    if (oRequest.m_fnCancelled && oRequest.m_fnCancelled()) {
      oRequest.m_bCancelled = true;
      eResult = CURLE_ABORTED_BY_CALLBACK;
      break;
    }
    curl_multi_poll(pMulti, nullptr, 0, WDX_URL_CANCEL_POLL_MS, nullptr);
  }
  curl_multi_remove_handle(pMulti, pEasy);
  return eResult;
}

// "text (detail)" of a libcurl failure, on one line, at most kMaxErrorText characters.
std::string DescribeFailure(const SRequest& oRequest) {
  std::string sText = curl_easy_strerror(oRequest.m_eResult);
  std::string sDetail = oRequest.m_szErrorBuffer;
  if (oRequest.m_bHeaderOverflow) {
    sDetail = "response headers longer than " + std::to_string(WDX_URL_MAX_HEADER_BYTES) + " bytes";
  }
  while (!sDetail.empty() && (sDetail.back() == '\n' || sDetail.back() == '\r')) {
    sDetail.pop_back();
  }
  if (!sDetail.empty() && sDetail != sText) sText += " (" + sDetail + ")";
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
  SRequest oRequest;
  oRequest.m_fnCancelled = m_fnCancelled;
  oRequest.m_iTimeLimitMs = m_iTimeLimitSeconds * 1000;
  if (EnsureCurlReady()) {
    oRequest.m_pEasy.reset(curl_easy_init());
    oRequest.m_pMulti.reset(curl_multi_init());
  }
  ZuvLogEvent(("CGetWebPage Go: " + ForLog(m_sUrl)).c_str());
  if (!oRequest.m_pEasy || !oRequest.m_pMulti) {
    oRequest.m_eResult = CURLE_FAILED_INIT;
    return EndWithTransportError(oRequest);
  }
  switch (ClassifyUrl(m_sUrl, oRequest.m_sUrl)) {
    case EUrlKind::kHttp:
      break;
    case EUrlKind::kRefused:
      LogError("CGetWebPage:: refused a URL longer than " + std::to_string(WDX_URL_MAX_LENGTH) +
               " characters or holding control characters");
      return EndWith(1);
    default:
      LogError(kNotHttp);
      return EndWith(1);
  }
  if (g_bProgressMode.load()) LogError("CGetWebPage:: Opening Internet...");
  oRequest.m_eResult = Configure(oRequest);
  if (oRequest.m_eResult != CURLE_OK || !Send(oRequest)) return EndWithTransportError(oRequest);
  if (oRequest.m_iStatus == 401) {
    LogError("CGetWebPage:: Access denied: Invalid password");
    return EndWith(1);
  }
  if (IsRedirect(oRequest.m_iStatus)) {
    const int iCode = FollowRedirect(oRequest);
    if (iCode != 0) return iCode;
  }
  ZuvLogEvent(("CGetWebPage::  Got status code " + std::to_string(m_iStatusCode)).c_str());
  return 0;
}

bool CGetWebPage::Send(SRequest& oRequest) {
  oRequest.m_sHeaders.clear();
  oRequest.m_bHeaderOverflow = false;
  oRequest.m_bBodyStarted = false;
  oRequest.m_szErrorBuffer[0] = '\0';
  oRequest.m_iStatus = 0;
  CURL* pEasy = oRequest.m_pEasy.get();
  oRequest.m_eResult = curl_easy_setopt(pEasy, CURLOPT_URL, oRequest.m_sUrl.c_str());
  if (oRequest.m_eResult != CURLE_OK) return false;
  oRequest.m_eResult = Perform(oRequest);
  if (oRequest.m_bCancelled) return false;
  // The write callback ends the transfer at the first body bytes: the status is all we need.
  const bool bStoppedAtBody = oRequest.m_eResult == CURLE_WRITE_ERROR && oRequest.m_bBodyStarted &&
                              !oRequest.m_bHeaderOverflow;
  if (oRequest.m_eResult != CURLE_OK && !bStoppedAtBody) return false;
  long lStatus = 0;
  curl_easy_getinfo(pEasy, CURLINFO_RESPONSE_CODE, &lStatus);
  if (lStatus <= 0) {
    oRequest.m_eResult = CURLE_WEIRD_SERVER_REPLY;
    std::snprintf(oRequest.m_szErrorBuffer, CURL_ERROR_SIZE, "no HTTP status received");
    return false;
  }
  oRequest.m_eResult = CURLE_OK;
  oRequest.m_iStatus = static_cast<int>(lStatus);
  m_iStatusCode = oRequest.m_iStatus;
  return true;
}

int CGetWebPage::FollowRedirect(SRequest& oRequest) {
  std::string sLocation;
  if (!FindLocation(oRequest.m_sHeaders, sLocation)) {
    LogError("CGetWebPage:: Site redirects with no new location");
    return EndWith(2);
  }
  if (g_bProgressMode.load()) LogError("CGetWebPage:: Caution: redirected to " + ForLog(sLocation));
  switch (ClassifyUrl(sLocation, oRequest.m_sUrl, oRequest.m_sUrl)) {
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
  if (!Send(oRequest)) return EndWithTransportError(oRequest);
  if (oRequest.m_iStatus != 200) {
    LogError("CGetWebPage::  Got status code " + std::to_string(oRequest.m_iStatus));
    return EndWith(2);
  }
  return 0;
}

int CGetWebPage::EndWith(int iCode) const {
  LogError("CGetWebPage::  Exception " + std::to_string(iCode) + " for this URL: ");
  LogError(ForLog(m_sUrl));
  return iCode;
}

int CGetWebPage::EndWithTransportError(const SRequest& oRequest) const {
  if (oRequest.m_bCancelled) {
    ZuvLogEvent((std::string(kAbandoned) + ForLog(m_sUrl)).c_str());
    return 2;
  }
  LogError("CGetWebPage::  HTTP client Exception " + std::to_string(oRequest.m_eResult) + ": " +
           DescribeFailure(oRequest) + " for this URL: ");
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
