#include "console/web/main_feature.h"

#include <deque>
#include <mutex>
#include <utility>
#include <vector>

#include "console/dlg/console_output.h"
#include "console/dlg/service_control.h"
#include "console/dlg/status_list.h"

namespace wdx {
namespace {

// Message boxes kept for the page until their OK; beyond this the oldest goes.
constexpr size_t kMaxBoxes = 20;

}  // namespace

// The status list and the open message boxes, as the page shows them.
class CMainOutput final : public IConsoleOutput {
 public:
  void AddStatusLine(const std::string& sLine) override {
    std::lock_guard<std::mutex> oLock(m_oMutex);
    m_oList.Append(sLine);
  }
  void MessageBox(const std::string& sTitle, const std::string& sText) override {
    std::lock_guard<std::mutex> oLock(m_oMutex);
    if (m_oBoxes.size() >= kMaxBoxes) m_oBoxes.pop_front();
    m_oBoxes.push_back(nlohmann::json{{"id", ++m_iLastBox}, {"title", sTitle}, {"text", sText}});
  }
  bool Dismiss(long long llId) {
    std::lock_guard<std::mutex> oLock(m_oMutex);
    for (auto it = m_oBoxes.begin(); it != m_oBoxes.end(); ++it) {
      if ((*it)["id"] == llId) {
        m_oBoxes.erase(it);
        return true;
      }
    }
    return false;
  }
  void Fill(nlohmann::json& oState) const {
    std::lock_guard<std::mutex> oLock(m_oMutex);
    oState["statusList"] = m_oList.Lines();
    oState["linesAdded"] = m_oList.Appended();
    oState["messageBoxes"] = nlohmann::json::array();
    for (const auto& oBox : m_oBoxes) oState["messageBoxes"].push_back(oBox);
  }

 private:
  mutable std::mutex m_oMutex;
  CStatusList m_oList;
  std::deque<nlohmann::json> m_oBoxes;
  long long m_iLastBox = 0;
};

CMainFeature::CMainFeature(const SConsoleContext& oContext, SDlgSeams oSeams)
    : m_pOutput(std::make_unique<CMainOutput>()) {
  if (!oSeams.m_fnOnClosed) oSeams.m_fnOnClosed = oContext.m_fnQuit;
  m_pDlg = std::make_unique<CWardenixDlg>(*m_pOutput, std::move(oSeams));
}

CMainFeature::~CMainFeature() {
  Shutdown();
}

// A window thread still in a wait it cannot cut short keeps its window and output until the
// process ends, so that the console's end does not wait for it.
void CMainFeature::Shutdown() {
  if (!m_pDlg || m_pDlg->Shutdown()) return;
  using CBusy = std::vector<std::pair<std::unique_ptr<CWardenixDlg>, std::unique_ptr<CMainOutput>>>;
  static std::mutex s_oMutex;
  static CBusy* const s_pBusy = new CBusy();  // never destroyed: the thread may outlive main
  std::lock_guard<std::mutex> oLock(s_oMutex);
  s_pBusy->emplace_back(std::move(m_pDlg), std::move(m_pOutput));
}

void CMainFeature::RegisterApi(IApiRegistry& oRegistry) {
  oRegistry.AddGet("/api/main/state", [this](const SApiRequest&) { return State(); });
  oRegistry.AddPost("/api/main/press",
                    [this](const SApiRequest& oRequest) { return Press(oRequest); });
  oRegistry.AddPost("/api/main/minutes",
                    [this](const SApiRequest& oRequest) { return Minutes(oRequest); });
  oRegistry.AddPost("/api/main/log-events",
                    [this](const SApiRequest& oRequest) { return LogEvents(oRequest); });
  oRegistry.AddPost("/api/main/settings-closed", [this](const SApiRequest&) {
    return Post(SDlgPress{EDlgButton::SETTINGS_CLOSED, "", false});
  });
  oRegistry.AddPost("/api/main/dismiss",
                    [this](const SApiRequest& oRequest) { return Dismiss(oRequest); });
  m_pDlg->Start();
}

SApiReply CMainFeature::State() const {
  const SDlgView oView = m_pDlg->GetView();
  nlohmann::json oState{{"picture", oView.m_iPicture},
                        {"buttons",
                         {{"go", oView.m_bGoEnabled},
                          {"stop", oView.m_bStopEnabled},
                          {"settings", oView.m_bSettingsEnabled},
                          {"minutes", oView.m_bSettingsEnabled},
                          {"logEvents", oView.m_bSettingsEnabled}}},
                        {"minutes", oView.m_iMinutes},
                        {"logEvents", oView.m_bLogEvents},
                        {"useIni", oView.m_bUseIni},
                        {"autoDetect", oView.m_bAutoDetect},
                        {"goActive", oView.m_bGoActive},
                        {"started", oView.m_bStarted},
                        {"closing", oView.m_bClosing},
                        {"report",
                         {{"running", oView.m_bReportRunning},
                          {"done", oView.m_iReportsDone},
                          {"ok", oView.m_bReportOk}}}};
  m_pOutput->Fill(oState);
  return SApiReply::Ok(std::move(oState));
}

SApiReply CMainFeature::Post(SDlgPress oPress) {
  if (!m_pDlg->Post(std::move(oPress))) return SApiReply::Error(409, "The console is closing.");
  return SApiReply::Ok();
}

SApiReply CMainFeature::Press(const SApiRequest& oRequest) {
  static const std::pair<const char*, EDlgButton> kButtons[] = {
      {"go", EDlgButton::GO},
      {"stop", EDlgButton::STOP},
      {"stopService", EDlgButton::STOP_SERVICE},
      {"closeConsole", EDlgButton::CLOSE_CONSOLE},
      {"report", EDlgButton::REPORT}};
  const nlohmann::json& oBody = oRequest.m_oBody;
  if (!oBody.is_object() || !oBody.contains("button") || !oBody["button"].is_string()) {
    return SApiReply::Error(400, "A press needs its button's name.");
  }
  const std::string sButton = oBody["button"].get<std::string>();
  for (const auto& [szName, eButton] : kButtons) {
    if (sButton != szName) continue;
    const SDlgView oView = m_pDlg->GetView();
    if ((eButton == EDlgButton::GO && !oView.m_bGoEnabled) ||
        (eButton == EDlgButton::STOP && !oView.m_bStopEnabled)) {
      return SApiReply::Error(409, "\"" + sButton + "\" is disabled now.");
    }
    return Post(SDlgPress{eButton, "", false});
  }
  return SApiReply::Error(400, "There is no button \"" + sButton + "\".");
}

SApiReply CMainFeature::Minutes(const SApiRequest& oRequest) {
  const nlohmann::json& oBody = oRequest.m_oBody;
  if (!oBody.is_object() || !oBody.contains("value")) {
    return SApiReply::Error(400, "The scan interval needs a value.");
  }
  const nlohmann::json& oValue = oBody["value"];
  std::string sValue;
  if (oValue.is_string()) {
    sValue = oValue.get<std::string>();
  } else if (oValue.is_number_integer()) {
    sValue = std::to_string(oValue.get<long long>());
  } else {
    return SApiReply::Error(400, "The scan interval is a whole number of minutes.");
  }
  if (!m_pDlg->GetView().m_bSettingsEnabled)
    return SApiReply::Error(409, "\"Minutes\" is disabled now.");
  return Post(SDlgPress{EDlgButton::MINUTES, sValue, false});
}

SApiReply CMainFeature::LogEvents(const SApiRequest& oRequest) {
  const nlohmann::json& oBody = oRequest.m_oBody;
  if (!oBody.is_object() || !oBody.contains("on") || !oBody["on"].is_boolean()) {
    return SApiReply::Error(400, "\"Log Events\" needs on: true or false.");
  }
  if (!m_pDlg->GetView().m_bSettingsEnabled) {
    return SApiReply::Error(409, "\"Log Events\" is disabled now.");
  }
  return Post(SDlgPress{EDlgButton::LOG_EVENTS, "", oBody["on"].get<bool>()});
}

SApiReply CMainFeature::Dismiss(const SApiRequest& oRequest) {
  const nlohmann::json& oBody = oRequest.m_oBody;
  if (!oBody.is_object() || !oBody.contains("id") || !oBody["id"].is_number_integer()) {
    return SApiReply::Error(400, "A message box is dismissed by its id.");
  }
  if (!m_pOutput->Dismiss(oBody["id"].get<long long>())) {
    return SApiReply::Error(404, "There is no such message box.");
  }
  return SApiReply::Ok();
}

std::unique_ptr<IConsoleFeature> CreateMainFeature(
    const SConsoleContext& oContext,
    std::function<std::unique_ptr<IServiceControl>(IConsoleOutput&)> fnCreateServiceControl) {
  SDlgSeams oSeams = CreateDlgSeams(oContext.m_sProgramFolder);
  oSeams.m_fnCreateServiceControl = std::move(fnCreateServiceControl);
  return std::make_unique<CMainFeature>(oContext, std::move(oSeams));
}

}  // namespace wdx
