#include "service/settings/all_sets.h"

#include <algorithm>
#include <charconv>
#include <string>

#include "foundation/process_log.h"
#include "foundation/ram_file.h"
#include "foundation/settings_lock.h"
#include "foundation/zuv_str.h"
#include "service/host/wdx_codes.h"

namespace wdx {
namespace {

// Empty after trimming: the key counts as absent.
bool IsBlank(const CZuvStr& oValue) {
  CZuvStr oCopy(oValue);
  oCopy.Trim();
  return oCopy.IsEmpty();
}

// The numeric keys and their ranges. A scan period of a day at most and a restart allowance of a
// day at most keep every product in milliseconds within 32 bits; the activity test takes
// 0..100; a reboot after more than 100 failed restarts in a row would never come.
const CAllSets::SNumberRule kNumberRules[] = {
    {"RestartsB4Reboot", 0, 100, false}, {"MinuteInterval", 1, 1440, false},
    {"RstrSecs", 15, 86400, true},       {"Sensitivity", 0, 100, false},
    {"UrlTimeout", 1, 600, false},
};

}  // namespace

CAllSets::CAllSets() {
  SetId(ZUV_ID_LIVE);
}

bool CAllSets::IsFlagText(const char* szValue) {
  CZuvStr oValue(szValue);
  return oValue.EqualsNoCase("1") || oValue.EqualsNoCase("T");
}

int CAllSets::ServerStateFromText(const char* szValue) {
  CZuvStr oValue(szValue);
  if (oValue.EqualsNoCase("Restarting")) return ZUV_FAILS_DETECTED_SERVER_RESTARTING;
  if (oValue.EqualsNoCase("Rebooting")) return ZUV_FAILS_DETECTED_SERVER_REBOOTONG;
  return ZUV_SERVER_UP;
}

const char* CAllSets::ServerStateText(int iState) {
  if (iState == ZUV_FAILS_DETECTED_SERVER_RESTARTING) return "Restarting";
  if (iState == ZUV_FAILS_DETECTED_SERVER_REBOOTONG) return "Rebooting";
  return "Up";
}

const CAllSets::SNumberRule* CAllSets::FindNumberRule(const std::string& sKey) {
  const CZuvStr oKey(CZuvStr::Trimmed(sKey).c_str());
  for (const SNumberRule& oRule : kNumberRules) {
    if (oKey.EqualsNoCase(oRule.szKey)) return &oRule;
  }
  return nullptr;
}

std::string CAllSets::CheckNumber(const std::string& sKey, std::string& sValue) {
  const SNumberRule* pRule = FindNumberRule(sKey);
  const std::string sText = CZuvStr::Trimmed(sValue);
  if (pRule == nullptr || sText.empty()) return "";
  const char* pBegin = sText.data() + (sText[0] == '+' ? 1 : 0);
  const char* pEnd = sText.data() + sText.size();
  long long iValue = 0;
  const auto [pStop, eError] = std::from_chars(pBegin, pEnd, iValue);
  const bool bNumber = pStop == pEnd && eError != std::errc::invalid_argument;
  const bool bInRange = bNumber && eError == std::errc() && iValue <= pRule->iMax;
  if (bInRange && iValue < pRule->iMin && pRule->bRaiseToMin) {
    sValue = std::to_string(pRule->iMin);
    return "";
  }
  if (bInRange && iValue >= pRule->iMin) return "";
  return std::string(pRule->szKey) + " takes a whole number from " + std::to_string(pRule->iMin) +
         " to " + std::to_string(pRule->iMax) + ", not \"" + sValue + "\".";
}

int CAllSets::DefaultRestarterSeconds(int iMinuteInterval) {
  const int iSeconds = iMinuteInterval * 60 / 2;
  return iSeconds < 15 ? 15 : iSeconds;
}

int CAllSets::UrlTimeoutFromText(const char* szValue) {
  CZuvStr oValue(szValue);
  oValue.Trim();
  if (oValue.IsEmpty()) return WDX_URL_TIMEOUT_DEFAULT_S;
  const std::string sText = oValue.c_str();
  long long llSeconds = 0;
  const char* pEnd = sText.data() + sText.size();
  const auto [pStop, eError] = std::from_chars(sText.data(), pEnd, llSeconds);
  int iSeconds = WDX_URL_TIMEOUT_DEFAULT_S;
  if (pStop == pEnd && eError == std::errc()) {
    iSeconds = static_cast<int>(
        std::clamp<long long>(llSeconds, WDX_URL_TIMEOUT_MIN_S, WDX_URL_TIMEOUT_MAX_S));
    if (iSeconds == llSeconds) return iSeconds;
  } else if (pStop == pEnd && eError == std::errc::result_out_of_range) {
    iSeconds = sText[0] == '-' ? WDX_URL_TIMEOUT_MIN_S : WDX_URL_TIMEOUT_MAX_S;
  }
  ZuvLogError(("CAllSets: UrlTimeout \"" + sText + "\" is not a whole number of seconds from " +
               std::to_string(WDX_URL_TIMEOUT_MIN_S) + " to " +
               std::to_string(WDX_URL_TIMEOUT_MAX_S) + "; " + std::to_string(iSeconds) +
               " is used.")
                  .c_str());
  return iSeconds;
}

std::unique_ptr<CArrayStr> CAllSets::MakeTable(int iSize) {
  auto pTable = std::make_unique<CArrayStr>();
  pTable->Initialize(iSize, WDX_LIST_LINE);
  return pTable;
}

bool CAllSets::EnsureKeyFile() {
  if (m_pKeyFile->IsLive()) return true;
  return m_pKeyFile->Initialize(m_oStrWorkingFolder.c_str(), WDX_SETTINGS_FILE);
}

bool CAllSets::ReInitialize() {
  m_bInitialized = false;
  SetId(ZUV_ID_LIVE);
  if (m_pKeyFile == nullptr || m_oStrWorkingFolder.IsEmpty()) {
    ZuvLogError("CAllSets::ReInitialize() failed.");
    return false;
  }
  ZuvLogEvent("CAllSets::ReInitialize() 1.");
  if (EnsureKeyFile()) {
    ZuvLogEvent("CAllSets::ReInitialize() 2.");
    m_pEmails = MakeTable(WDX_MAX_EMAILS);
    ZuvLogEvent("CAllSets::ReInitialize() 3.");
    m_pUrls = MakeTable(WDX_MAX_URLS);
    ZuvLogEvent("CAllSets::ReInitialize() 4.");
    m_pRemoteUrls = MakeTable(WDX_MAX_URLS);
    m_pProgramsToMonitor = MakeTable(WDX_MAX_PROGRAMS);
    m_pProgramsToStart = MakeTable(WDX_MAX_PROGRAMS);
    ZuvLogEvent("CAllSets::ReInitialize() 9.");
    m_bInitialized = Load();
  }
  if (!m_bInitialized) ZuvLogError("CAllSets::ReInitialize() failed.");
  return m_bInitialized;
}

bool CAllSets::ReadText(const char* szKey, CZuvStr& oValue) {
  return oValue.Assign(m_pKeyFile->GetKeyValue(szKey).c_str());
}

int CAllSets::ReadInt(const char* szKey, int iDefault) {
  CZuvStr oValue;
  ReadText(szKey, oValue);
  return IsBlank(oValue) ? iDefault : oValue.ToInt();
}

bool CAllSets::ReadFlag(const char* szKey, bool bDefault) {
  CZuvStr oValue;
  ReadText(szKey, oValue);
  return IsBlank(oValue) ? bDefault : IsFlagText(oValue.c_str());
}

void CAllSets::LoadList(const char* szSection, CArrayStr& oTable) {
  m_pKeyFile->LoadSectionIntoArray(oTable, szSection);
}

bool CAllSets::Load() {
  ZuvLogEvent("CPhoneSettings::LoadIfNexessary() 1.");
  if (!EnsureKeyFile()) {
    ZuvLogError("CPhoneSettings::LoadIfNexessary() failed.");
    return false;
  }
  ZuvLogEvent("CPhoneSettings::LoadIfNexessary() 2.");
  LoadRequireds();
  ZuvLogEvent("CPhoneSettings::LoadIfNexessary() Phone.");
  LoadPhone();
  ZuvLogEvent("CPhoneSettings::LoadIfNexessary() Email.");
  LoadEmail();
  ZuvLogEvent("CPhoneSettings::LoadIfNexessary() Sensitivity.");
  m_iSensitivity = ReadInt("Sensitivity", 5);
  m_bWatch = ReadFlag("WATCH", true);
  CZuvStr oUrlTimeout;
  ReadText("UrlTimeout", oUrlTimeout);
  m_iUrlTimeout = UrlTimeoutFromText(oUrlTimeout.c_str());
  ReadText("MetricsFile", m_oStrMetricsFile);
  m_oStrMetricsFile.Trim();
  ZuvLogEvent("CPhoneSettings::LoadIfNexessary() SvrState.");
  LoadServerState();
  ZuvLogEvent("CPhoneSettings::LoadIfNexessary() done.");
  return true;
}

void CAllSets::LoadRequireds() {
  m_iRestartsB4Reboot = ReadInt("RestartsB4Reboot", 0);
  ReadText("AdminId", m_oStrLogonId);
  ReadText("MachineName", m_oStrMachineName);
  ReadText("DomainName", m_oStrDomainName);
  ReadText("Password", m_oStrPassword);
  ReadText("UseIni", m_oStrUseIni);
  m_iMinuteInterval = ReadInt("MinuteInterval", 10);
  m_iRestarterSeconds = ReadInt("RstrSecs", DefaultRestarterSeconds(m_iMinuteInterval));
  m_bLogEvents = ReadFlag("LogEvents", false);
  m_bAutoStart = ReadFlag("GOS", false);
  m_bUseIni = ReadFlag("UseIni", false);
}

void CAllSets::LoadPhone() {
  bool bAnyCallee = false;
  for (int i = 0; i < WDX_PHONE_CONTACTS; ++i) {
    const std::string sIndex = std::to_string(i + 1);
    ReadText(("PNum" + sIndex).c_str(), m_aoStrPhoneNumber[i]);
    ReadText(("PName" + sIndex).c_str(), m_aoStrPhoneName[i]);
    m_abPhoneEnabled[i] = ReadFlag(("PE" + sIndex).c_str(), false);
    if (!m_aoStrPhoneNumber[i].IsEmpty() && m_abPhoneEnabled[i]) bAnyCallee = true;
  }
  m_bPhoneAck = ReadFlag("PAck", false);
  ReadText("MsgDown", m_oStrMsgDown);
  ReadText("MsgUp", m_oStrMsgUp);
  LoadList("[EMAILS]", *m_pEmails);
  m_bPhoneAlertsEnabled = bAnyCallee && !m_oStrMsgDown.IsEmpty() && !m_oStrMsgUp.IsEmpty();
}

void CAllSets::LoadEmail() {
  ReadText("SmtpServer", m_oStrSmtpServer);
  ReadText("SmtpSecurity", m_oStrSmtpSecurity);
  ReadText("SmtpUser", m_oStrSmtpUser);
  ReadText("SmtpPassword", m_oStrSmtpPassword);
  ReadText("EmailBodyDown", m_oStrEmailBodyDown);
  ReadText("EmailBodyUp", m_oStrEmailBodyUp);
  ReadText("EmailSubject", m_oStrEmailSubjectUp);
  ReadText("EmailSubjectDn", m_oStrEmailSubjectDown);
  ReadText("EmailFrom", m_oStrEmailFrom);
  ReadText("EmailUrl", m_oStrEmailUrl);
  m_bEmailEnabled = ReadFlag("EmailEnabled", false);
  LoadList("[URLS]", *m_pUrls);
  LoadList("[RURLS]", *m_pRemoteUrls);
  LoadList("[STOPS]", *m_pProgramsToMonitor);
  LoadList("[PROGS]", *m_pProgramsToStart);
}

void CAllSets::LoadServerState() {
  CZuvStr oText;
  ReadText("SvrStatus", oText);
  m_iLastKnownServerState = ServerStateFromText(oText.c_str());
  const std::string sState = std::to_string(m_iLastKnownServerState);
  ZuvLogEvent(("CSetRequireds::LoadIfNexessary() SvrStatus= " + sState).c_str());
  m_pKeyFile->SetKeyValue("SvrStatus", oText.c_str());
  ZuvLogEvent(("CSetRequireds::LoadIfNexessary() SvrState=" + sState).c_str());
}

bool CAllSets::ReadAfresh() {
  bool bRead = m_pKeyFile != nullptr && m_bInitialized;
  if (bRead) {
    // The load may create an absent file: it is a write like any other.
    CSettingsLock oLock;
    bRead = !oLock.IsTimedOut() && m_pKeyFile->ReloadFromFile();
  }
  if (!bRead) {
    ZuvLogError("CAllSets::ReadAfresh() cannot read the settings; those loaded before stay.");
    return false;
  }
  ZuvLogEvent("CAllSets::ReadAfresh() read the settings file afresh.");
  const int iState = m_iLastKnownServerState;
  const bool bOk = ReInitialize();
  m_iLastKnownServerState = iState;
  return bOk;
}

bool CAllSets::SaveSettings() {
  bool bOk = m_pKeyFile != nullptr && m_bInitialized;
  const char* szState = ServerStateText(m_iLastKnownServerState);
  if (bOk) {
    CSettingsLock oLock;
    CRamFileRO oOnDisk;
    bOk = !oLock.IsTimedOut() && oOnDisk.Initialize(m_oStrWorkingFolder.c_str(), WDX_SETTINGS_FILE);
    // An unchanged state is not written again (the GO loop saves twice a cycle).
    if (bOk && oOnDisk.GetKeyValue("SvrStatus") != szState) {
      bOk = oOnDisk.SetKeyValue("SvrStatus", szState) && oOnDisk.SaveToFile();
    }
  }
  if (bOk) m_pKeyFile->SetKeyValue("SvrStatus", szState);
  if (!bOk) ZuvLogError("CAllSets::SaveSettings() failed.");
  return bOk;
}

}  // namespace wdx
