#include "console/sense/sense_feature.h"

#include "console/sense/sense_params.h"
#include "console/sense/sense_probe.h"
#include "console/settings_editor.h"
#include "foundation/process_log.h"

namespace wdx {

CSenseFeature::CSenseFeature(const SConsoleContext& oContext, FnMakeSenseProbe fnMakeProbe)
    : m_sFolder(oContext.m_sProgramFolder),
      m_oRunner(fnMakeProbe ? std::move(fnMakeProbe)
                            : FnMakeSenseProbe([sFolder = oContext.m_sProgramFolder] {
                                return MakeProbe(sFolder);
                              })) {}

CSenseFeature::~CSenseFeature() = default;

SSenseProbeLoad CSenseFeature::MakeProbe(const std::string& sProgramFolder) {
  SSenseProbeLoad oLoad;
  auto pProbe = std::make_unique<CSenseProbe>(sProgramFolder);
  if (!pProbe->Load(oLoad.m_sError)) return oLoad;
  oLoad.m_oSettings = pProbe->GetSettings();
  oLoad.m_pProbe = std::move(pProbe);
  return oLoad;
}

void CSenseFeature::RegisterApi(IApiRegistry& oRegistry) {
  oRegistry.AddGet("/api/sense",
                   [this](const SApiRequest& oRequest) { return GetState(oRequest); });
  oRegistry.AddPost("/api/sense/test",
                    [this](const SApiRequest& oRequest) { return PostTest(oRequest); });
  oRegistry.AddPost("/api/sense/save",
                    [this](const SApiRequest& oRequest) { return PostSave(oRequest); });
}

void CSenseFeature::Shutdown() {
  m_oRunner.Shutdown();
}

SApiReply CSenseFeature::GetState(const SApiRequest&) {
  CSettingsEditor oEditor(m_sFolder);
  // A file that cannot be read shows the slider at the value of an empty setting.
  if (!oEditor.Load()) ZuvLogError("CSetSense::LoadIfNexessary() failed.");
  const int iStored = SensitivityFromText(oEditor.GetKey("Sensitivity"));
  const SSenseState oState = m_oRunner.GetState();
  const SSenseProgress& oProgress = oState.m_oProgress;
  return SApiReply::Ok({{"sensitivity", iStored},
                        {"warning", SENSE_WARNING},
                        {"busy", oProgress.m_bBusy},
                        {"sampling", oProgress.m_bSampling},
                        {"elapsed", oProgress.m_iElapsedSeconds},
                        {"total", oProgress.m_iTotalSeconds},
                        {"picture", SensePictureName(oState.m_ePicture)},
                        {"failedItem", oState.m_sFailedItem},
                        {"testedSensitivity", oState.m_iTestedSensitivity}});
}

bool CSenseFeature::ReadSensitivity(const SApiRequest& oRequest, int& iSensitivity) {
  if (!oRequest.m_oBody.is_object()) return false;
  auto it = oRequest.m_oBody.find("sensitivity");
  if (it == oRequest.m_oBody.end() || !it->is_number_integer()) return false;
  const long long llValue = it->get<long long>();
  if (llValue < SENSE_MIN || llValue > SENSE_MAX) return false;
  iSensitivity = static_cast<int>(llValue);
  return true;
}

SApiReply CSenseFeature::PostTest(const SApiRequest& oRequest) {
  int iSensitivity = 0;
  if (!ReadSensitivity(oRequest, iSensitivity)) {
    return SApiReply::Error(400, "The sensitivity is a whole number from 0 to 100.");
  }
  std::string sMessage;
  switch (m_oRunner.Start(iSensitivity, sMessage)) {
    case ESenseStart::kStarted:
      return SApiReply::Ok({{"started", true}});
    case ESenseStart::kRefused:
      return SApiReply::Ok({{"started", false}, {"message", sMessage}});
    case ESenseStart::kBusy:
      return SApiReply::Error(409, sMessage);
    case ESenseStart::kNoSettings:
      break;
  }
  return SApiReply::Error(409, sMessage);
}

SApiReply CSenseFeature::PostSave(const SApiRequest& oRequest) {
  int iSensitivity = 0;
  if (!ReadSensitivity(oRequest, iSensitivity)) {
    return SApiReply::Error(400, "The sensitivity is a whole number from 0 to 100.");
  }
  CSettingsEditor oEditor(m_sFolder);
  if (!oEditor.SetKey("Sensitivity", std::to_string(iSensitivity))) {
    ZuvLogError("CSetSense::SaveSettings() failed.");
    return SApiReply::Error(409, oEditor.GetLastError());
  }
  return SApiReply::Ok({{"saved", true}, {"sensitivity", iSensitivity}});
}

}  // namespace wdx
