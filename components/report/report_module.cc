// The library glue of WdReport.so: its one class and the four exported entry points.
#include <vector>

#include "components/report/ut_report.h"
#include "platform/component_module.h"

namespace wdx {
namespace {

const std::vector<SComponentClass>& GetReportClasses() {
  static const std::vector<SComponentClass> oClasses = {
      {{CLSID_UtReport, "UtReport Class", PROGID_UtReport1, PROGID_UtReport, "Free",
        LIBID_WdReport},
       &CreateComObject<CUtReport>}};
  return oClasses;
}

}  // namespace
}  // namespace wdx

WDX_COMPONENT_MODULE(wdx::GetReportClasses)
