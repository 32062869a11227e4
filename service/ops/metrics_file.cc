#include "service/ops/metrics_file.h"

#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <utility>

#include "foundation/process_log.h"
#include "platform/file_system.h"
#include "service/ops/item_codes.h"

namespace wdx {
namespace {

const char* const kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// Length of the well-formed UTF-8 sequence at the start of sText[u...], 0 when there is none.
size_t Utf8Length(const std::string& sText, size_t u) {
  const auto c = [&](size_t i) { return static_cast<unsigned char>(sText[u + i]); };
  const size_t uLeft = sText.size() - u;
  const unsigned char b0 = c(0);
  if (b0 < 0x80) return 1;
  size_t uLength = 0;
  unsigned char bLow = 0x80, bHigh = 0xBF;  // the allowed range of the second byte
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    uLength = 2;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    uLength = 3;
    if (b0 == 0xE0) bLow = 0xA0;   // no overlong forms
    if (b0 == 0xED) bHigh = 0x9F;  // no surrogates
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    uLength = 4;
    if (b0 == 0xF0) bLow = 0x90;
    if (b0 == 0xF4) bHigh = 0x8F;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  if (uLeft < uLength || c(1) < bLow || c(1) > bHigh) return 0;
  for (size_t i = 2; i < uLength; ++i) {
    if (c(i) < 0x80 || c(i) > 0xBF) return 0;
  }
  return uLength;
}

const char* TypeLabel(int iType) {
  switch (iType) {
    case ITEM_LOCAL_URL:
      return "url";
    case ITEM_REMOTE_URL:
      return "remote_url";
    case ITEM_PROGRAM:
      return "program";
    default:
      return nullptr;
  }
}

std::string LowerAscii(std::string sText) {
  for (char& c : sText) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return sText;
}

std::string Seconds(double dValue) {
  char aBuffer[64];
  std::snprintf(aBuffer, sizeof(aBuffer), "%.3f", dValue);
  return aBuffer;
}

void AddFamily(std::string& sOut, const char* szName, const char* szType, const char* szHelp) {
  sOut += std::string("# HELP ") + szName + " " + szHelp + "\n";
  sOut += std::string("# TYPE ") + szName + " " + szType + "\n";
}

void AddSample(std::string& sOut, const char* szName, const char* szType, const char* szHelp,
               const std::string& sValue) {
  AddFamily(sOut, szName, szType, szHelp);
  sOut += std::string(szName) + " " + sValue + "\n";
}

}  // namespace

std::string EscapeLabelValue(const std::string& sValue) {
  std::string sOut;
  sOut.reserve(sValue.size());
  for (size_t u = 0; u < sValue.size();) {
    const char c = sValue[u];
    if (c == '\\') {
      sOut += "\\\\";
    } else if (c == '"') {
      sOut += "\\\"";
    } else if (c == '\n') {
      sOut += "\\n";
    } else {
      const size_t uLength = Utf8Length(sValue, u);
      if (uLength == 0) {
        sOut += kReplacement;
        ++u;
        continue;
      }
      sOut.append(sValue, u, uLength);
      u += uLength;
      continue;
    }
    ++u;
  }
  return sOut;
}

std::string FormatMetrics(const SMetricsSnapshot& oSnapshot) {
  std::string sOut;
  AddSample(sOut, "wardenix_ops_state", "gauge",
            "Operations state: 999 ready, 1000 stopped, 1001 running, 1002 testing, 1003 failing, "
            "1004 auto GO pending, 1005 remote failing, 1006 stop requested.",
            std::to_string(oSnapshot.iOpsState));
  AddSample(sOut, "wardenix_go_mode", "gauge", "1 while GO mode tests the server, else 0.",
            oSnapshot.bGoMode ? "1" : "0");
  AddSample(sOut, "wardenix_server_state", "gauge",
            "Last known server state: 1000 up, 1001 restarting, 1002 rebooting.",
            std::to_string(oSnapshot.iServerState));
  AddFamily(sOut, "wardenix_item_up", "gauge",
            "1 when the item passed its last test, 0 when it failed; items not yet tested are "
            "left out.");
  std::set<std::pair<int, std::string>> oSeen;
  for (const SMetricsItem& oItem : oSnapshot.oItems) {
    const char* szType = TypeLabel(oItem.iType);
    if (szType == nullptr || !oSeen.insert({oItem.iType, LowerAscii(oItem.sName)}).second) continue;
    sOut += std::string("wardenix_item_up{type=\"") + szType + "\",name=\"" +
            EscapeLabelValue(oItem.sName) + "\"} " + (oItem.bUp ? "1" : "0") + "\n";
  }
  AddSample(sOut, "wardenix_restarts_total", "counter",
            "Restarts of the watched programs since the service started.",
            std::to_string(oSnapshot.iRestarts));
  AddSample(sOut, "wardenix_reboots_total", "counter",
            "Reboots the service started since it started.", std::to_string(oSnapshot.iReboots));
  if (oSnapshot.dCycleEnd > 0) {
    AddSample(sOut, "wardenix_last_cycle_timestamp_seconds", "gauge",
              "When the last test cycle ended, in unix seconds.", Seconds(oSnapshot.dCycleEnd));
    AddSample(sOut, "wardenix_last_cycle_duration_seconds", "gauge",
              "How long the last test cycle took, in seconds.", Seconds(oSnapshot.dCycleSeconds));
  }
  return sOut;
}

void CMetricsFile::SetPath(const std::string& sPath) {
  if (sPath == m_sPath) return;
  m_sPath = sPath;
  m_bFailureLogged = false;
}

bool CMetricsFile::Write(const SMetricsSnapshot& oSnapshot) {
  if (m_sPath.empty()) return true;
  IFileSystem& oFiles = GetFileSystem();
  if (oFiles.ReplaceFile(m_sPath, FormatMetrics(oSnapshot), 0644)) {
    m_bFailureLogged = false;
    return true;
  }
  if (!m_bFailureLogged) {
    const int iError = oFiles.GetLastErrorCode();
    ZuvLogError(("MetricsFile: cannot write " + m_sPath + " (" + std::strerror(iError) +
                 "); GO mode goes on without it.")
                    .c_str());
    m_bFailureLogged = true;
  }
  return false;
}

}  // namespace wdx
