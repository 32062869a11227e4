// The features of the web console, in the order their APIs are registered.
#include "console/logs/logs_feature.h"
#include "console/sense/sense_feature.h"
#include "console/web/console_api.h"

namespace wdx {

std::vector<std::unique_ptr<IConsoleFeature>> CreateConsoleFeatures(const SConsoleContext& oContext) {
  std::vector<std::unique_ptr<IConsoleFeature>> oFeatures;
  oFeatures.push_back(CreateLogsFeature(oContext));
  oFeatures.push_back(std::make_unique<CSenseFeature>(oContext));
  return oFeatures;
}

}  // namespace wdx
