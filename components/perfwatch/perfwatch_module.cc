// The library glue of Perfwatch.so: its one class and the four exported entry points.
#include <vector>

#include "components/perfwatch/watcher.h"
#include "platform/component_module.h"

namespace wdx {
namespace {

const std::vector<SComponentClass>& GetPerfwatchClasses() {
  static const std::vector<SComponentClass> oClasses = {
      {{CLSID_Watcher, "Watcher Class", PROGID_Watcher1, PROGID_Watcher, "Apartment",
        LIBID_Perfwatch},
       &CreateComObject<CWatcher>}};
  return oClasses;
}

}  // namespace
}  // namespace wdx

WDX_COMPONENT_MODULE(wdx::GetPerfwatchClasses)
