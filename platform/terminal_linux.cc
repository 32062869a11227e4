#include <unistd.h>

#include "platform/terminal.h"

namespace wdx {

bool IsStandardOutputTerminal() {
  return isatty(STDOUT_FILENO) == 1;
}

}  // namespace wdx
