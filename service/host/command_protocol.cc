#include "service/host/command_protocol.h"

#include <charconv>
#include <cstdio>

namespace wdx {
namespace {

// Parses a whole decimal 32-bit integer; no blanks, no trailing text.
bool ParseCode(const char* pBegin, const char* pEnd, int& iValue) {
  if (pBegin == pEnd) return false;
  auto [pStop, eError] = std::from_chars(pBegin, pEnd, iValue);
  return eError == std::errc() && pStop == pEnd;
}

bool StartsWith(const std::string& sText, const std::string& sPrefix) {
  return sText.size() >= sPrefix.size() && sText.compare(0, sPrefix.size(), sPrefix) == 0;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

SCommandRequest ParseRequest(const std::string& sLine) {
  SCommandRequest oRequest;
  const std::string sOps = std::string(WDX_VERB_OPS_COMMAND) + " ";
  const std::string sString = std::string(WDX_VERB_GET_STRING_RESULT) + " ";
  const std::string* pVerb = nullptr;
  if (StartsWith(sLine, sOps)) {
    pVerb = &sOps;
    oRequest.m_eKind = ERequestKind::OPS_COMMAND;
  } else if (StartsWith(sLine, sString)) {
    pVerb = &sString;
    oRequest.m_eKind = ERequestKind::GET_STRING_RESULT;
  } else {
    return oRequest;
  }
  const char* pBegin = sLine.data() + pVerb->size();
  if (!ParseCode(pBegin, sLine.data() + sLine.size(), oRequest.m_iCode)) {
    oRequest = SCommandRequest();
  }
  return oRequest;
}

std::string FormatOpsCommandRequest(int iCode) {
  return std::string(WDX_VERB_OPS_COMMAND) + " " + std::to_string(iCode);
}

std::string FormatStringRequest(int iCode) {
  return std::string(WDX_VERB_GET_STRING_RESULT) + " " + std::to_string(iCode);
}

std::string FormatIntAnswer(int iResult) {
  return "OK " + std::to_string(iResult);
}

std::string FormatTextAnswer(const std::string& sText) {
  return "OK " + EscapeAnswerText(sText);
}

bool ParseIntAnswer(const std::string& sAnswer, int& iResult) {
  if (!StartsWith(sAnswer, "OK ")) return false;
  return ParseCode(sAnswer.data() + 3, sAnswer.data() + sAnswer.size(), iResult);
}

bool ParseTextAnswer(const std::string& sAnswer, std::string& sText) {
  if (!StartsWith(sAnswer, "OK ")) return false;
  sText = UnescapeAnswerText(sAnswer.substr(3));
  return true;
}

std::string EscapeAnswerText(const std::string& sText) {
  std::string sOut;
  sOut.reserve(sText.size());
  for (unsigned char c : sText) {
    if (c == '\\') {
      sOut += "\\\\";
    } else if (c == '\r') {
      sOut += "\\r";
    } else if (c == '\n') {
      sOut += "\\n";
    } else if (c < 32 || c == 127) {
      char szHex[5];
      std::snprintf(szHex, sizeof szHex, "\\x%02X", c);
      sOut += szHex;
    } else {
      sOut += static_cast<char>(c);
    }
  }
  return sOut;
}

std::string UnescapeAnswerText(const std::string& sText) {
  std::string sOut;
  sOut.reserve(sText.size());
  for (size_t i = 0; i < sText.size(); ++i) {
    char c = sText[i];
    if (c != '\\' || i + 1 >= sText.size()) {
      sOut += c;
      continue;
    }
    char cNext = sText[++i];
    if (cNext == 'r') {
      sOut += '\r';
    } else if (cNext == 'n') {
      sOut += '\n';
    } else if (cNext == 'x' && i + 2 < sText.size() && HexValue(sText[i + 1]) >= 0 &&
               HexValue(sText[i + 2]) >= 0) {
      sOut += static_cast<char>(HexValue(sText[i + 1]) * 16 + HexValue(sText[i + 2]));
      i += 2;
    } else {
      sOut += cNext;
    }
  }
  return sOut;
}

}  // namespace wdx
