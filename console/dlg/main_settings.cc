#include "console/dlg/main_settings.h"

#include <charconv>

#include "console/settings_editor.h"
#include "service/settings/all_sets.h"

namespace wdx {
namespace {

bool IsBlank(const std::string& sText) {
  return sText.find_first_not_of(" \t") == std::string::npos;
}

class CMainSettings final : public IMainSettings {
 public:
  explicit CMainSettings(const std::string& sFolder) : m_oEditor(sFolder) {}

  bool Load(SMainSettings& oSettings) override {
    if (!m_oEditor.Load()) return false;
    oSettings.m_bRequiredValid =
        !IsBlank(Key("AdminId")) && !IsBlank(Key("Password")) && !IsBlank(Key("MachineName"));
    oSettings.m_bPhoneEnabled = PhoneEnabled();
    oSettings.m_iMinutes = 10;
    const std::string sMinutes = Key("MinuteInterval");
    int iMinutes = 0;
    auto [pEnd, eError] =
        std::from_chars(sMinutes.data(), sMinutes.data() + sMinutes.size(), iMinutes);
    if (eError == std::errc() && pEnd == sMinutes.data() + sMinutes.size() && iMinutes >= 1) {
      oSettings.m_iMinutes = iMinutes;
    }
    oSettings.m_bLogEvents = Flag("LogEvents");
    oSettings.m_bUseIni = Flag("UseIni");
    oSettings.m_bAutoDetect = Flag("WATCH");
    return true;
  }
  bool SetMinutes(const std::string& sValue) override {
    m_sRefusal.clear();
    if (IsBlank(sValue)) return Refuse("The scan interval (minutes) cannot be empty.");
    return m_oEditor.SetKey("MinuteInterval", sValue);
  }
  bool SetLogEvents(bool bOn) override {
    m_sRefusal.clear();
    return m_oEditor.SetKey("LogEvents", bOn ? "T" : "F");
  }
  std::string GetLastError() const override {
    return m_sRefusal.empty() ? m_oEditor.GetLastError() : m_sRefusal;
  }

 private:
  std::string Key(const char* szKey) const { return m_oEditor.GetKey(szKey); }
  bool Flag(const char* szKey) const { return CAllSets::IsFlagText(Key(szKey).c_str()); }
  bool Refuse(const std::string& sReason) {
    m_sRefusal = sReason;
    return false;
  }
  bool PhoneEnabled() const {
    bool bAnyCallee = false;
    for (int i = 1; i <= WDX_PHONE_CONTACTS; ++i) {
      const std::string sIndex = std::to_string(i);
      if (Flag(("PE" + sIndex).c_str()) && !IsBlank(Key(("PNum" + sIndex).c_str()))) {
        bAnyCallee = true;
      }
    }
    return bAnyCallee && !IsBlank(Key("MsgDown")) && !IsBlank(Key("MsgUp"));
  }

  CSettingsEditor m_oEditor;
  std::string m_sRefusal;
};

}  // namespace

std::unique_ptr<IMainSettings> CreateMainSettings(const std::string& sProgramFolder) {
  return std::make_unique<CMainSettings>(sProgramFolder);
}

}  // namespace wdx
