#include "platform/telephony/sip/sip_info.h"

#include <cctype>
#include <cstring>

namespace wdx::sip {
namespace {

std::string Lower(std::string sText) {
  for (char& c : sText) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return sText;
}

std::string Trim(const std::string& sText) {
  const size_t uFirst = sText.find_first_not_of(" \t\r\n");
  if (uFirst == std::string::npos) return "";
  return sText.substr(uFirst, sText.find_last_not_of(" \t\r\n") - uFirst + 1);
}

char KeyOf(const std::string& sKey) {
  if (sKey == "10") return '*';
  if (sKey == "11") return '#';
  if (sKey.size() != 1) return 0;
  const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(sKey[0])));
  return std::strchr("0123456789*#ABCD", c) != nullptr ? c : 0;
}

std::string MediaType(const std::string& sContentType) {
  return Lower(Trim(sContentType.substr(0, sContentType.find(';'))));
}

}  // namespace

bool IsKeypadInfo(const std::string& sContentType) {
  const std::string sType = MediaType(sContentType);
  return sType == "application/dtmf-relay" || sType == "application/dtmf";
}

char ReadInfoDigit(const std::string& sContentType, const std::string& sBody) {
  const std::string sType = MediaType(sContentType);
  if (sType == "application/dtmf") return KeyOf(Trim(sBody));
  if (sType != "application/dtmf-relay") return 0;
  size_t uLine = 0;
  while (uLine < sBody.size()) {
    size_t uEnd = sBody.find('\n', uLine);
    if (uEnd == std::string::npos) uEnd = sBody.size();
    const std::string sLine = sBody.substr(uLine, uEnd - uLine);
    const size_t uEquals = sLine.find('=');
    if (uEquals != std::string::npos && Lower(Trim(sLine.substr(0, uEquals))) == "signal") {
      return KeyOf(Trim(sLine.substr(uEquals + 1)));
    }
    uLine = uEnd + 1;
  }
  return 0;
}

}  // namespace wdx::sip
