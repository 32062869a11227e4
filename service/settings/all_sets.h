// CAllSets: the service's one settings aggregate. Loads every setting from the key file
// (AutoSet.caf) into typed members with their defaults, keeps the list sections in string
// tables, derives the phone-alerts-enabled flag and holds the last known server state.
// ReadAfresh reloads everything from the file as it is on disk now (GO mode starts with it, so
// that what the console saved meanwhile is honoured). SaveSettings writes only what the service
// owns, "SvrStatus", into the file as it is on disk, under the settings lock; every other line
// belongs to the console and is left as the console saved it.
//
// The allowed values of the numeric keys are kept here too (FindNumberRule, CheckNumber), for
// the console's checks before it saves.
//
// Threading: loaded on the thread that initialises the command object; afterwards read by the
// operations thread and the objects it drives, and written (m_iLastKnownServerState,
// SaveSettings, ReadAfresh) only by the operations thread. The static members are stateless.
#pragma once

#include <memory>
#include <string>

#include "foundation/array_str.h"
#include "foundation/zuv_base.h"
#include "foundation/zuv_str.h"

namespace wdx {

class CRamFileRO;

inline constexpr int WDX_PHONE_CONTACTS = 6;
inline constexpr int WDX_LIST_LINE = 255;
inline constexpr int WDX_MAX_EMAILS = 100;
inline constexpr int WDX_MAX_URLS = 100;
inline constexpr int WDX_MAX_PROGRAMS = 64;
// "UrlTimeout": seconds that one URL request may take in all.
inline constexpr int WDX_URL_TIMEOUT_DEFAULT_S = 120;
inline constexpr int WDX_URL_TIMEOUT_MIN_S = 1;
inline constexpr int WDX_URL_TIMEOUT_MAX_S = 600;

class CAllSets final : public CZuvBase {
 public:
  CAllSets();

  bool ReInitialize();
  // Reads the key file afresh and loads every setting again; the last known server state is
  // the service's own and stays. When the file cannot be read nothing changes (and false).
  bool ReadAfresh();
  // Sets "SvrStatus" to the text of m_iLastKnownServerState in the file on disk.
  bool SaveSettings();
  bool IsInitialized() const { return m_bInitialized; }

  // Set by the command object before ReInitialize.
  CZuvStr m_oStrWorkingFolder;
  CRamFileRO* m_pKeyFile = nullptr;

  // Required settings.
  CZuvStr m_oStrLogonId;
  CZuvStr m_oStrMachineName;
  CZuvStr m_oStrDomainName;
  CZuvStr m_oStrPassword;
  CZuvStr m_oStrUseIni;

  int m_iRestartsB4Reboot = 0;
  int m_iMinuteInterval = 10;
  int m_iRestarterSeconds = 300;
  bool m_bLogEvents = false;
  bool m_bAutoStart = false;

  // Phone alerts.
  bool m_bPhoneAck = false;
  CZuvStr m_aoStrPhoneName[WDX_PHONE_CONTACTS];
  CZuvStr m_aoStrPhoneNumber[WDX_PHONE_CONTACTS];
  bool m_abPhoneEnabled[WDX_PHONE_CONTACTS] = {};
  CZuvStr m_oStrMsgDown;
  CZuvStr m_oStrMsgUp;
  bool m_bPhoneAlertsEnabled = false;

  // E-mail alerts.
  CZuvStr m_oStrSmtpServer;
  CZuvStr m_oStrEmailSubjectUp;
  CZuvStr m_oStrEmailSubjectDown;
  CZuvStr m_oStrEmailFrom;
  CZuvStr m_oStrEmailBodyDown;
  CZuvStr m_oStrEmailBodyUp;
  CZuvStr m_oStrEmailUrl;
  // "none" (default), "starttls" or "tls"; the login is used only over TLS.
  CZuvStr m_oStrSmtpSecurity;
  CZuvStr m_oStrSmtpUser;
  CZuvStr m_oStrSmtpPassword;
  bool m_bEmailEnabled = false;

  // List sections, recreated by every ReInitialize.
  std::unique_ptr<CArrayStr> m_pEmails;
  std::unique_ptr<CArrayStr> m_pUrls;
  std::unique_ptr<CArrayStr> m_pRemoteUrls;
  std::unique_ptr<CArrayStr> m_pProgramsToMonitor;
  std::unique_ptr<CArrayStr> m_pProgramsToStart;

  int m_iSensitivity = 5;
  bool m_bUseIni = false;
  bool m_bWatch = false;
  int m_iUrlTimeout = WDX_URL_TIMEOUT_DEFAULT_S;
  // "MetricsFile": the Prometheus metrics file written after every GO cycle; empty: none.
  CZuvStr m_oStrMetricsFile;
  int m_iLastKnownServerState = 1000;

  // Value rules of the key file, exposed for the console and tests.
  static bool IsFlagText(const char* szValue);
  static int ServerStateFromText(const char* szValue);
  // "Up", "Restarting" or "Rebooting".
  static const char* ServerStateText(int iState);
  static int DefaultRestarterSeconds(int iMinuteInterval);
  // The UrlTimeout in force for a key file text: blank gives the default, a whole number is
  // clamped to 1..600, anything else gives the default; a text that is not taken as it stands
  // is logged.
  static int UrlTimeoutFromText(const char* szValue);

  // The allowed values of a numeric key of "[KEYS]".
  struct SNumberRule {
    const char* szKey;
    int iMin;
    int iMax;
    bool bRaiseToMin;  // a smaller number is stored as iMin instead of being refused
  };
  // The rule of a numeric key (its name matched ignoring case), nullptr for other keys.
  static const SNumberRule* FindNumberRule(const std::string& sKey);
  // Checks a value of the key before it is stored: "" (the key's default), and whole numbers in
  // range pass; a number below the minimum of a key that raises becomes that minimum in sValue.
  // Returns "" when sValue may be stored, else the reason, which names the allowed range.
  static std::string CheckNumber(const std::string& sKey, std::string& sValue);

 private:
  bool EnsureKeyFile();
  bool Load();
  void LoadRequireds();
  void LoadPhone();
  void LoadEmail();
  void LoadServerState();
  bool ReadText(const char* szKey, CZuvStr& oValue);
  int ReadInt(const char* szKey, int iDefault);
  bool ReadFlag(const char* szKey, bool bDefault);
  void LoadList(const char* szSection, CArrayStr& oTable);
  static std::unique_ptr<CArrayStr> MakeTable(int iSize);

  bool m_bInitialized = false;
};

}  // namespace wdx
