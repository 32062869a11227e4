// The instructions of the restart program, performed one at a time by PerformInstruction.
// Commands are split into words shell-style and run without a shell; URL values may use "http:"
// or "https:".
#include <strings.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "foundation/process_log.h"
#include "foundation/txt_file4.h"
#include "platform/clock.h"
#include "platform/command_words.h"
#include "platform/file_system.h"
#include "service/getter/get_web_page.h"
#include "service/restart/instruction.h"
#include "service/restart/warden.h"
#include "service/settings/all_sets.h"

namespace wdx {
namespace {

// Pause between two looks for the file of WaitForFile.
constexpr int kWaitForFilePauseMs = 5000;
// The browser when none was found or configured.
const char* const kDefaultBrowser = "xdg-open";
// The web server reset script of the program folder.
const char* const kWebReset = "webreset";

bool IsUrl(const std::string& sValue) {
  return ContainsNoCase(sValue, "http:") || ContainsNoCase(sValue, "https:");
}

// sText as one word for SplitCommandWords.
std::string Quoted(const std::string& sText) {
  std::string sQuoted = "'";
  for (char c : sText) sQuoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return sQuoted + "'";
}

std::string BaseName(const std::string& sPath) {
  const size_t uSlash = sPath.rfind('/');
  return uSlash == std::string::npos ? sPath : sPath.substr(uSlash + 1);
}

// Seconds of the value, bounded to 0..iMaxSeconds, as milliseconds.
int BoundedWaitMs(const std::string& sValue, int iMaxSeconds) {
  const long long llSeconds = std::strtoll(sValue.c_str(), nullptr, 10);
  const long long llBounded = std::clamp<long long>(llSeconds, 0, std::max(iMaxSeconds, 0));
  return static_cast<int>(std::min<long long>(llBounded * 1000, INT_MAX));
}

bool CanOpenForReading(const std::string& sPath) {
  CTxtFile4 oFile;
  if (!oFile.Initialize(16) || !oFile.OpenForReadOnlyQuietly(sPath.c_str())) return false;
  oFile.Close();
  return true;
}

}  // namespace

bool CWarden::PerformInstruction() {
  if (m_pCurrent == nullptr) {
    ZuvLogError("CWarden::PerformInstruction() detected a failure.");
    return false;
  }
  ZuvLogEvent(("Task:: " + m_pCurrent->GetKeyword() + " : " + m_pCurrent->GetValue()).c_str());
  if (PerformKeyword(*m_pCurrent)) return true;
  ZuvLogError("CWarden::PerformInstruction() detected a failure.");
  return false;
}

bool CWarden::PerformKeyword(CInstruction& oInstruction) {
  const std::string& sValue = oInstruction.GetValue();
  if (oInstruction.Is("Detect")) {
    CActivityDetector& oDetector = oInstruction.GetDetector();
    if (!oDetector.Test()) {
      ZuvLogError(("Activity Detect is NEGATIVE for " + oDetector.GetWatchedPath()).c_str());
      return false;
    }
    oDetector.Commit();
  } else if (oInstruction.Is("Wait")) {
    Wait(BoundedWaitMs(sValue, m_iMaxWait));
  } else if (oInstruction.Is("Stop")) {
    const bool bBrowser = strcasecmp(sValue.c_str(), "InternetExplorer") == 0;
    // The value may name several targets, as any command line.
    m_oLauncher.RunHidden("KILL /f  " + (bBrowser ? Quoted(BaseName(GetBrowser())) : sValue), true);
  } else if (oInstruction.Is("Start")) {
    if (IsUrl(sValue)) {
      StartUrl(sValue);
    } else {
      m_oLauncher.Start(sValue);
    }
  } else if (oInstruction.Is("StartWithInternetExplorer")) {
    if (IsUrl(sValue)) StartUrl(sValue);
  } else if (oInstruction.Is("StartAndComplete")) {
    return StartAndComplete(sValue);
  } else if (oInstruction.Is("DeleteSignalFile")) {
    IFileSystem& oFiles = GetFileSystem();
    if (oFiles.FileExists(sValue) && !oFiles.DeleteFile(sValue)) {
      ZuvLogError(("'DeleteSignalFile' FAILS for " + sValue).c_str());
    }
  } else if (oInstruction.Is("WaitForFile")) {
    return WaitForFile(sValue);
  }
  return true;  // Begin, End and any other keyword do nothing
}

std::string CWarden::GetBrowser() const {
  return m_sBrowserPath.empty() ? std::string(kDefaultBrowser) : m_sBrowserPath;
}

void CWarden::StartUrl(const std::string& sUrl) {
  m_oLauncher.Start(Quoted(GetBrowser()) + " " + Quoted(sUrl));
}

// A URL must answer with 2xx; the web server reset (named "IisReset" or "webreset") is run from
// the program folder unless a path is given and marks the reset as done; anything else is run
// and waited for.
bool CWarden::StartAndComplete(const std::string& sValue) {
  if (IsUrl(sValue)) {
    CGetWebPage oPage;
    oPage.SetCancelCheck([this] { return IsStopping(); });
    if (m_pSettings != nullptr) oPage.SetTimeLimit(m_pSettings->m_iUrlTimeout);
    return oPage.Go("D", sValue.c_str()) <= 0 && oPage.IsOk();
  }
  if (ContainsNoCase(sValue, "IisReset") || ContainsNoCase(sValue, kWebReset)) {
    std::vector<std::string> oWords;
    std::string sCommand = sValue;
    if (SplitCommandWords(sValue, oWords) && oWords[0].find('/') == std::string::npos) {
      sCommand = Quoted(m_sBaseDirectory + kWebReset);
      for (size_t i = 1; i < oWords.size(); ++i) sCommand += " " + Quoted(oWords[i]);
    }
    m_oLauncher.RunHidden(sCommand, true);
    m_bIisResetDone = true;
    return true;
  }
  m_oLauncher.RunAndWait(sValue);
  return true;
}

bool CWarden::WaitForFile(const std::string& sValue) {
  IClock& oClock = GetClock();
  const int64_t iStartMs = oClock.GetMonotonicMs();
  const int64_t iLimitMs = ScaleInterval(BoundedWaitMs(std::to_string(m_iMaxWait), INT_MAX / 1000));
  for (;;) {
    if ((m_pGoFlag != nullptr && !*m_pGoFlag) || IsStopping()) return false;
    if (CanOpenForReading(sValue)) return true;
    if (oClock.GetMonotonicMs() - iStartMs >= iLimitMs) {
      ZuvLogError(("'WaitForFile' FAILS for " + sValue).c_str());
      return false;
    }
    Wait(kWaitForFilePauseMs);
  }
}

}  // namespace wdx
