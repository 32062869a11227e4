// The features of the web console, in the order their APIs are registered.
#include "console/dlg/service_control.h"
#include "console/logs/logs_feature.h"
#include "console/sense/sense_feature.h"
#include "console/settings/settings_feature.h"
#include "console/web/console_api.h"
#include "console/web/main_feature.h"
#include "platform/service_manager.h"

namespace wdx {

std::vector<std::unique_ptr<IConsoleFeature>> CreateConsoleFeatures(const SConsoleContext& oContext) {
  std::vector<std::unique_ptr<IConsoleFeature>> oFeatures;
  oFeatures.push_back(
      CreateMainFeature(oContext, [sFolder = oContext.m_sProgramFolder](IConsoleOutput& oOutput) {
        return CreateServiceControl(sFolder, oOutput, nullptr);
      }));
  oFeatures.push_back(CreateLogsFeature(oContext));
  oFeatures.push_back(std::make_unique<CSenseFeature>(oContext));
  oFeatures.push_back(std::make_unique<CSettingsFeature>(oContext));
  return oFeatures;
}

}  // namespace wdx
