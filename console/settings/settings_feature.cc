#include "console/settings/settings_feature.h"

#include <cstdlib>

#include "console/settings/email_settings.h"
#include "console/settings/load_urls.h"
#include "console/settings/op_options.h"
#include "console/settings/phone_settings.h"
#include "console/settings/required_settings.h"
#include "console/settings/restarter_defs.h"
#include "console/settings/settings_audit.h"
#include "console/settings/settings_json.h"
#include "foundation/zuv_str.h"

namespace wdx {
namespace {

using nlohmann::json;

// The operator whose start-up folder the "Auto Start" option uses.
std::string CurrentUser() {
  for (const char* szName : {"USER", "LOGNAME"}) {
    const char* szValue = std::getenv(szName);
    if (szValue != nullptr && szValue[0] != '\0') return szValue;
  }
  return "";
}

json RequiredJson(const CSetRequireds& oDialog, bool bLoaded) {
  const SRequiredValues& oValues = oDialog.GetValues();
  return {{"loaded", bLoaded},
          {"AdminId", PrintableText(oValues.m_sAdminId)},
          {"Password", PrintableText(oValues.m_sPassword)},
          {"DomainName", PrintableText(oValues.m_sDomainName)},
          {"MachineName", PrintableText(oValues.m_sMachineName)},
          {"RestartsB4Reboot", oValues.m_sRestartsB4Reboot},
          {"RstrSecs", oValues.m_sRstrSecs}};
}

json PhoneJson(const SPhoneValues& oValues, bool bLoaded) {
  json oRows = json::array();
  for (int i = 0; i < WDX_PHONE_ROWS; ++i) {
    oRows.push_back({{"name", PrintableText(oValues.m_asName[i])},
                     {"number", PrintableText(oValues.m_asNumber[i])},
                     {"enabled", oValues.m_abEnabled[i]}});
  }
  return {{"loaded", bLoaded},
          {"MsgDown", PrintableText(oValues.m_sMsgDown)},
          {"MsgUp", PrintableText(oValues.m_sMsgUp)},
          {"PAck", oValues.m_bAck},
          {"rows", oRows}};
}

// False (and the problem kept in oFields) when the rows are not six {name, number, enabled}.
bool ReadPhoneRows(CJsonFields& oFields, SPhoneValues& oValues) {
  const json& oRows = oFields.Object("rows");
  if (!oFields.IsValid()) return false;
  if (!oRows.is_array() || oRows.size() != WDX_PHONE_ROWS) return false;
  for (int i = 0; i < WDX_PHONE_ROWS; ++i) {
    CJsonFields oRow(oRows[static_cast<size_t>(i)]);
    oValues.m_asName[i] = oRow.Text("name");
    oValues.m_asNumber[i] = oRow.Text("number");
    oValues.m_abEnabled[i] = oRow.Flag("enabled");
    if (!oRow.IsValid()) return false;
  }
  return true;
}

json EmailJson(const SEmailValues& oValues, bool bLoaded) {
  return {{"loaded", bLoaded},
          {"EmailEnabled", oValues.m_bEnabled},
          {"SmtpServer", PrintableText(oValues.m_sSmtpServer)},
          {"EmailFrom", PrintableText(oValues.m_sFrom)},
          {"EmailSubject", PrintableText(oValues.m_sSubjectUp)},
          {"EmailSubjectDn", PrintableText(oValues.m_sSubjectDown)},
          {"EmailBodyUp", PrintableText(oValues.m_sBodyUp)},
          {"EmailBodyDown", PrintableText(oValues.m_sBodyDown)},
          {"EmailUrl", PrintableText(oValues.m_sUrl)},
          {"recipients", LinesJson(oValues.m_oRecipients)}};
}

}  // namespace

CSettingsFeature::CSettingsFeature(const SConsoleContext& oContext)
    : m_sFolder(oContext.m_sProgramFolder) {}

void CSettingsFeature::RegisterApi(IApiRegistry& oRegistry) {
  RegisterLists(oRegistry);
  RegisterDialogs(oRegistry);
  RegisterHelpers(oRegistry);
}

void CSettingsFeature::RegisterLists(IApiRegistry& oRegistry) {
  for (const char* szSection : {"URLS", "RURLS"}) {
    const std::string sSection = szSection;
    const std::string sPath = sSection == "URLS" ? "/api/settings/urls" : "/api/settings/rurls";
    oRegistry.AddGet(sPath, [this, sSection](const SApiRequest&) {
      CLoadURLs oDialog(m_sFolder, sSection);
      const bool bLoaded = oDialog.Open();
      return SApiReply::Ok({{"loaded", bLoaded}, {"entries", LinesJson(oDialog.GetEntries())}});
    });
    oRegistry.AddPost(sPath, [this, sSection](const SApiRequest& oRequest) {
      CJsonFields oFields(oRequest.m_oBody);
      const std::vector<std::string> oEntries = oFields.Lines("entries");
      if (!oFields.IsValid()) return oFields.BadRequest();
      return OutcomeReply(CLoadURLs(m_sFolder, sSection).Ok(oEntries));
    });
  }
  oRegistry.AddGet("/api/settings/programs", [this](const SApiRequest&) {
    CRestarterDefs oDialog(m_sFolder);
    const bool bLoaded = oDialog.Open();
    return SApiReply::Ok({{"loaded", bLoaded},
                          {"monitor", LinesJson(oDialog.GetMonitored())},
                          {"start", LinesJson(oDialog.GetStarted())}});
  });
  oRegistry.AddPost("/api/settings/programs", [this](const SApiRequest& oRequest) {
    CJsonFields oFields(oRequest.m_oBody);
    const std::vector<std::string> oMonitor = oFields.Lines("monitor");
    const std::vector<std::string> oStart = oFields.Lines("start");
    if (!oFields.IsValid()) return oFields.BadRequest();
    return OutcomeReply(CRestarterDefs(m_sFolder).Ok(oMonitor, oStart));
  });
  oRegistry.AddGet("/api/settings/audit", [this](const SApiRequest&) {
    CSettingsAudit oDialog(m_sFolder);
    const bool bLoaded = oDialog.Open();
    return SApiReply::Ok({{"loaded", bLoaded}, {"lines", LinesJson(oDialog.GetLines())}});
  });
  oRegistry.AddPost("/api/settings/audit", [this](const SApiRequest& oRequest) {
    CJsonFields oFields(oRequest.m_oBody);
    const std::vector<std::string> oShown = oFields.Lines("shown");
    const std::vector<std::string> oLines = oFields.Lines("lines");
    if (!oFields.IsValid()) return oFields.BadRequest();
    return OutcomeReply(CSettingsAudit(m_sFolder).Ok(oShown, oLines));
  });
}

void CSettingsFeature::RegisterDialogs(IApiRegistry& oRegistry) {
  oRegistry.AddGet("/api/settings/required", [this](const SApiRequest&) {
    CSetRequireds oDialog(m_sFolder);
    const bool bLoaded = oDialog.Open();
    return SApiReply::Ok(RequiredJson(oDialog, bLoaded));
  });
  oRegistry.AddPost("/api/settings/required", [this](const SApiRequest& oRequest) {
    CJsonFields oFields(oRequest.m_oBody);
    SRequiredValues oValues;
    oValues.m_sAdminId = oFields.Text("AdminId");
    oValues.m_sPassword = oFields.Text("Password");
    const std::string sConfirm = oFields.Text("Confirm");
    oValues.m_sDomainName = oFields.Text("DomainName");
    oValues.m_sMachineName = oFields.Text("MachineName");
    oValues.m_sRestartsB4Reboot = oFields.Text("RestartsB4Reboot");
    oValues.m_sRstrSecs = oFields.Text("RstrSecs");
    if (!oFields.IsValid()) return oFields.BadRequest();
    CSetRequireds oDialog(m_sFolder);
    oDialog.Open();
    return OutcomeReply(oDialog.Ok(oValues, sConfirm));
  });
  oRegistry.AddGet("/api/settings/phone", [this](const SApiRequest&) {
    CPhoneSettings oDialog(m_sFolder);
    const bool bLoaded = oDialog.Open();
    return SApiReply::Ok(PhoneJson(oDialog.GetValues(), bLoaded));
  });
  oRegistry.AddPost("/api/settings/phone", [this](const SApiRequest& oRequest) {
    CJsonFields oFields(oRequest.m_oBody);
    SPhoneValues oValues;
    oValues.m_sMsgDown = oFields.Text("MsgDown");
    oValues.m_sMsgUp = oFields.Text("MsgUp");
    oValues.m_bAck = oFields.Flag("PAck");
    if (!ReadPhoneRows(oFields, oValues)) {
      return SApiReply::Error(400, "The field \"rows\" must hold six {name, number, enabled}.");
    }
    return OutcomeReply(CPhoneSettings(m_sFolder).Ok(oValues));
  });
  oRegistry.AddGet("/api/settings/options", [this](const SApiRequest&) {
    COpOptions oDialog(m_sFolder);
    const bool bLoaded = oDialog.Open();
    const SOptionValues& oValues = oDialog.GetValues();
    return SApiReply::Ok({{"loaded", bLoaded},
                          {"UseIni", oValues.m_bUseIni},
                          {"WATCH", oValues.m_bWatch},
                          {"GOS", oValues.m_bAutoStart},
                          {"UseIIS", oValues.m_bUseIis}});
  });
  oRegistry.AddPost("/api/settings/options", [this](const SApiRequest& oRequest) {
    CJsonFields oFields(oRequest.m_oBody);
    SOptionValues oValues;
    oValues.m_bUseIni = oFields.Flag("UseIni");
    oValues.m_bWatch = oFields.Flag("WATCH");
    if (!oFields.IsValid()) return oFields.BadRequest();
    return OutcomeReply(COpOptions(m_sFolder).Ok(oValues, CurrentUser()));
  });
  oRegistry.AddGet("/api/settings/email", [this](const SApiRequest&) {
    CEmailSettings oDialog(m_sFolder);
    const bool bLoaded = oDialog.Open();
    return SApiReply::Ok(EmailJson(oDialog.GetValues(), bLoaded));
  });
  oRegistry.AddPost("/api/settings/email", [this](const SApiRequest& oRequest) {
    CJsonFields oFields(oRequest.m_oBody);
    SEmailValues oValues;
    oValues.m_bEnabled = oFields.Flag("EmailEnabled");
    oValues.m_sSmtpServer = oFields.Text("SmtpServer");
    oValues.m_sFrom = oFields.Text("EmailFrom");
    oValues.m_sSubjectUp = oFields.Text("EmailSubject");
    oValues.m_sSubjectDown = oFields.Text("EmailSubjectDn");
    oValues.m_sBodyUp = oFields.Text("EmailBodyUp");
    oValues.m_sBodyDown = oFields.Text("EmailBodyDown");
    oValues.m_sUrl = oFields.Text("EmailUrl");
    oValues.m_oRecipients = oFields.Lines("recipients");
    if (!oFields.IsValid()) return oFields.BadRequest();
    return OutcomeReply(CEmailSettings(m_sFolder).Ok(oValues));
  });
}

void CSettingsFeature::RegisterHelpers(IApiRegistry& oRegistry) {
  oRegistry.AddPost("/api/settings/normalize-url", [](const SApiRequest& oRequest) {
    CJsonFields oFields(oRequest.m_oBody);
    const std::string sText = oFields.Text("text");
    if (!oFields.IsValid()) return oFields.BadRequest();
    return SApiReply::Ok({{"entry", CLoadURLs::NormalizeUrl(sText)}});
  });
  oRegistry.AddPost("/api/settings/email/test", [this](const SApiRequest& oRequest) {
    CJsonFields oFields(oRequest.m_oBody);
    const std::string sServer = oFields.Text("server");
    if (!oFields.IsValid()) return oFields.BadRequest();
    CDialogFile oFile(m_sFolder, "CEmailSettings");
    oFile.Open();
    std::string sResult;
    const bool bOk = CEmailSettings::TestServer(sServer, oFile.GetKey("SmtpSecurity"), sResult);
    return SApiReply::Ok({{"ok", bOk}, {"text", PrintableText(sResult)}});
  });
  oRegistry.AddPost("/api/settings/programs/check", [](const SApiRequest& oRequest) {
    CJsonFields oFields(oRequest.m_oBody);
    const std::string sPath = oFields.Text("path");
    if (!oFields.IsValid()) return oFields.BadRequest();
    const std::string sReason = CRestarterDefs::CheckProgramFile(sPath);
    return SApiReply::Ok({{"ok", sReason.empty()},
                          {"path", PrintableText(CZuvStr::Trimmed(sPath))},
                          {"message", PrintableText(sReason)}});
  });
  oRegistry.AddGet("/api/settings/programs/browse", [this](const SApiRequest& oRequest) {
    const auto itFolder = oRequest.m_oQuery.find("folder");
    std::string sFolder = itFolder == oRequest.m_oQuery.end() ? m_sFolder : itFolder->second;
    if (sFolder.empty() || sFolder.back() != '/') sFolder += "/";
    std::vector<SFolderEntry> oEntries;
    if (!CRestarterDefs::ListFolder(sFolder, oEntries)) {
      return SApiReply::Error(404, "The folder " + PrintableText(sFolder) + " cannot be read.");
    }
    json oList = json::array();
    for (const SFolderEntry& oEntry : oEntries) {
      oList.push_back({{"name", PrintableText(oEntry.m_sName)}, {"folder", oEntry.m_bFolder}});
    }
    std::string sParent = sFolder.substr(0, sFolder.find_last_of('/', sFolder.size() - 2) + 1);
    return SApiReply::Ok({{"folder", PrintableText(sFolder)},
                          {"parent", PrintableText(sParent)},
                          {"entries", oList}});
  });
}

}  // namespace wdx
