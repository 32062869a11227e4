#include "service/restart/instruction.h"

#include <strings.h>

#include <algorithm>
#include <cctype>

#include "foundation/process_log.h"

namespace wdx {

bool CInstruction::Initialize(const std::string& sKeyword, const std::string& sValue) {
  m_bInitialized = true;
  m_sKeyword = sKeyword;
  if (sKeyword.empty()) {
    ZuvLogError("CInstruction::Initialize() failed.");
    return false;
  }
  m_sValue = sValue;
  return true;
}

bool CInstruction::Is(const char* szKeyword) const {
  return strcasecmp(m_sKeyword.c_str(), szKeyword) == 0;
}

bool ContainsNoCase(const std::string& sText, const char* szPart) {
  const std::string sPart = szPart;
  auto itFound =
      std::search(sText.begin(), sText.end(), sPart.begin(), sPart.end(), [](char cA, char cB) {
        return std::tolower(static_cast<unsigned char>(cA)) ==
               std::tolower(static_cast<unsigned char>(cB));
      });
  return itFound != sText.end() || sPart.empty();
}

}  // namespace wdx
