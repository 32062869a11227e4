// CGetWebPage: the page getter of the URL tests. One Go() sends one HTTP or HTTPS GET request
// for a URL, follows at most one redirect (301, 302, 303) by itself and keeps the status code;
// the body is never read. Every outcome is written to the process log with fixed texts, and Go
// returns 0 when a request completed (whatever its status), 1 for bad options, a URL that is
// not plain HTTP(S) or denied access, 2 for a failed redirect or any transport error. A URL test
// passes when Go("D", url) returns 0 and IsOk() is true.
//
// The options set by ParseOptions (access type, progress mode, reload flag) are shared by all
// getters of the process and kept between calls. Certificates are verified against the system
// CA store. Every request is bounded in time (the WDX_URL_* constants below), so a server that
// never answers cannot hold the caller.
//
// Threading: a getter is a short-lived object used by one thread. Getters on different threads
// may run at the same time; the process-wide options are atomics (every caller sets the same
// values) and the test-only settings are set while no getter runs.
#pragma once

#include <functional>
#include <string>

#include "foundation/zuv_base.h"
#include "service/getter/http_exchange.h"
#include "service/getter/http_url.h"

namespace wdx {

// Time limits of one request.
inline constexpr int WDX_URL_CONNECT_TIMEOUT_MS = 30000;  // lookup, TCP and TLS, at most
inline constexpr int WDX_URL_LOW_SPEED_TIME_S = 60;       // no bytes for this long: failure
inline constexpr int WDX_URL_TOTAL_TIMEOUT_MS = 120000;   // the whole request, by default
// How often a request in flight asks its cancel check.
inline constexpr int WDX_URL_CANCEL_POLL_MS = WDX_HTTP_WAIT_SLICE_MS;
// Longest URL accepted (longer ones are refused before anything is sent).
inline constexpr int WDX_URL_MAX_LENGTH = 2048;
// Most bytes of response headers kept for one response; more is a transport failure.
inline constexpr int WDX_URL_MAX_HEADER_BYTES = 64 * 1024;

// Access types of the option letters.
inline constexpr int WDX_URL_ACCESS_PROXY = 0;   // the system's proxy settings (environment)
inline constexpr int WDX_URL_ACCESS_DIRECT = 1;  // no proxy at all

struct SUrlTimeouts {
  int m_iConnectMs = WDX_URL_CONNECT_TIMEOUT_MS;
  int m_iLowSpeedSeconds = WDX_URL_LOW_SPEED_TIME_S;
  int m_iTotalMs = WDX_URL_TOTAL_TIMEOUT_MS;
};

class CGetWebPage final : public CZuvBase {
 public:
  CGetWebPage();
  CGetWebPage(const CGetWebPage&) = delete;
  CGetWebPage& operator=(const CGetWebPage&) = delete;
  ~CGetWebPage() override;

  // Sets the process-wide options from one option letter: D (system proxy), L (direct),
  // S (nothing of its own), P (progress mode on), F (reload). Every recognised letter also sets
  // the reload flag. Anything else is logged and refused.
  bool ParseOptions(const char* szOptions);

  // One GET of szUrl (see the result codes above).
  int Go(const char* szOptions, const char* szUrl);

  // Asked every WDX_URL_CANCEL_POLL_MS while a request is in flight; when it returns true the
  // request is abandoned, logged, and Go returns 2. Called on the thread that runs Go.
  void SetCancelCheck(std::function<bool()> fnCancelled);
  // Bound of one whole request in seconds (at least 1; the connection gets at most
  // WDX_URL_CONNECT_TIMEOUT_MS of it).
  void SetTimeLimit(int iWholeSeconds);

  // The status is at least 200 and below 300.
  bool IsOk() const;
  // The HTTP status of the last Go; 1 when no response was received.
  int GetStatusCode() const { return m_iStatusCode; }
  // The URL of the last Go, as given.
  const std::string& GetUrl() const { return m_sUrl; }

  // The process-wide options.
  static int GetAccessType();
  static bool IsProgressMode();
  static bool IsReloadSet();

  // Test-only: back to the initial options (system proxy, progress off, reload on).
  static void ResetOptionsForTesting();
  // Test-only: trust the CA certificates of this PEM file instead of the system store ("" goes
  // back to the system store).
  static void SetCaFileForTesting(const std::string& sPath);
  // Test-only: other time limits (SUrlTimeouts{} restores the defaults). A getter's own
  // SetTimeLimit still bounds the whole request.
  static void SetTimeoutsForTesting(const SUrlTimeouts& oTimeouts);

 private:
  // Steps 3 to 9 of Go once the options are accepted; returns the result code.
  int Fetch();
  // Sends one GET for oUrl and reads the status; false on a transport failure (not yet logged).
  bool Send(const SHttpUrl& oUrl, SHttpOutcome& oOutcome);
  // Handles a 301/302/303 answer to oFrom: one more request to the new location.
  int FollowRedirect(const SHttpUrl& oFrom, SHttpOutcome& oOutcome);
  // Logs "Exception" lines for this URL and returns iCode.
  int EndWith(int iCode) const;
  // Logs the transport failure of the last Send and returns 2.
  int EndWithTransportError(const SHttpOutcome& oOutcome) const;

  int m_iStatusCode = 1;
  std::string m_sUrl;
  std::function<bool()> m_fnCancelled;
  int m_iTimeLimitSeconds = WDX_URL_TOTAL_TIMEOUT_MS / 1000;
};

}  // namespace wdx
