// The automation table of the Actor class.
#include "components/safehand/actor.h"

namespace wdx {

std::vector<SDispMethod> CActor::GetDispatchTable() {
  return {DispMethod(1, "SetAct1", this, &CActor::SetAct1), DispMethod(2, "Go", this, &CActor::Go),
          DispMethod(3, "Stop", this, &CActor::Stop),
          DispMethod(4, "ZuvEndThreads", this, &CActor::ZuvEndThreads)};
}

}  // namespace wdx
