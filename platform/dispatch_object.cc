#include "platform/dispatch_object.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace wdx {

bool DispArgToText(const CVariant& vArg, std::string& sText) {
  CVariant vText = vArg;
  if (!vText.ChangeTypeToString()) return false;
  sText = vText.GetString();
  return true;
}

bool DispArgToInt32(const CVariant& vArg, int32_t& lValue) {
  switch (vArg.GetType()) {
    case VT_I4:
    case VT_BOOL:
    case VT_EMPTY:
      lValue = vArg.GetInt32();
      return true;
    case VT_BSTR:
      break;
    default:
      return false;
  }
  const char* szText = vArg.GetString().c_str();
  char* pEnd = nullptr;
  errno = 0;
  const long long llValue = std::strtoll(szText, &pEnd, 10);
  if (pEnd == szText || errno != 0 || llValue < INT32_MIN || llValue > INT32_MAX) return false;
  while (*pEnd == ' ' || *pEnd == '\t') ++pEnd;
  if (*pEnd != '\0') return false;
  lValue = static_cast<int32_t>(llValue);
  return true;
}

}  // namespace wdx
