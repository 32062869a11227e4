#include <unistd.h>

#include <climits>

#include "platform/computer_name.h"

namespace wdx {

std::string GetComputerName() {
  char szName[HOST_NAME_MAX + 1] = {};
  if (gethostname(szName, sizeof(szName) - 1) != 0) return "";
  return szName;
}

}  // namespace wdx
