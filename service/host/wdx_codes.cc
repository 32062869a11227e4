#include "service/host/wdx_codes.h"

namespace wdx {

const char* OpsStateName(int iState) {
  switch (iState) {
    case 0:
      return "NOT_STARTED";
    case WDX_STATE_READY:
      return "READY";
    case WDX_STATE_STOPPED:
      return "STOPPED";
    case WDX_STATE_RUNNING:
      return "RUNNING";
    case WDX_STATE_TESTING:
      return "TESTING";
    case WDX_STATE_FAILING:
      return "FAILING";
    case WDX_STATE_AUTO_GO_PENDING:
      return "AUTO_GO_PENDING";
    case WDX_STATE_REMOTE_FAILING:
      return "REMOTE_FAILING";
    case WDX_STATE_STOP_REQUESTED:
      return "STOP_REQUESTED";
    default:
      return "UNKNOWN";
  }
}

}  // namespace wdx
