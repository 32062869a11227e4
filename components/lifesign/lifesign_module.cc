// The library glue of ZuvLifeSign.so: its one class and the four exported entry points.
#include <vector>

#include "components/lifesign/life_sign.h"
#include "platform/component_module.h"

namespace wdx {
namespace {

const std::vector<SComponentClass>& GetLifeSignClasses() {
  static const std::vector<SComponentClass> oClasses = {
      {{CLSID_LifeSign, "LifeSign Class", PROGID_LifeSign1, PROGID_LifeSign, "Apartment",
        LIBID_ZuvLifeSign},
       &CreateComObject<CLifeSign>}};
  return oClasses;
}

}  // namespace
}  // namespace wdx

WDX_COMPONENT_MODULE(wdx::GetLifeSignClasses)
