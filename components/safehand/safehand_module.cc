// The library glue of Safehand.so: its one class and the four exported entry points.
#include <vector>

#include "components/safehand/actor.h"
#include "platform/component_module.h"

namespace wdx {
namespace {

const std::vector<SComponentClass>& GetSafehandClasses() {
  static const std::vector<SComponentClass> oClasses = {
      {{CLSID_Actor, "Actor Class", PROGID_Actor1, PROGID_Actor, "Free", LIBID_Safehand},
       &CreateComObject<CActor>}};
  return oClasses;
}

}  // namespace
}  // namespace wdx

WDX_COMPONENT_MODULE(wdx::GetSafehandClasses)
