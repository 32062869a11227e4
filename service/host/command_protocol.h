// The messages of the command endpoint, written down in one place. One request a line, one
// answer a line:
//
//   request                      answer
//   "OpsCommand <code>"          "OK <32-bit result>"
//   "GetStringResult <code>"     "OK <text>"   (text escaped: see EscapeAnswerText)
//   anything else                "ERR <reason>"
//
// Codes are decimal 32-bit integers. The answer to a line longer than the endpoint's limit is
// "ERR request line too long" and the connection is then closed.
//
// Threading: pure functions.
#pragma once

#include <string>

namespace wdx {

enum class ERequestKind { OPS_COMMAND, GET_STRING_RESULT, MALFORMED };

struct SCommandRequest {
  ERequestKind m_eKind = ERequestKind::MALFORMED;
  int m_iCode = 0;
};

inline constexpr const char* WDX_VERB_OPS_COMMAND = "OpsCommand";
inline constexpr const char* WDX_VERB_GET_STRING_RESULT = "GetStringResult";
inline constexpr const char* WDX_ANSWER_BAD_REQUEST = "ERR malformed request";
inline constexpr const char* WDX_ANSWER_TOO_LONG = "ERR request line too long";

SCommandRequest ParseRequest(const std::string& sLine);
std::string FormatOpsCommandRequest(int iCode);
std::string FormatStringRequest(int iCode);

std::string FormatIntAnswer(int iResult);
std::string FormatTextAnswer(const std::string& sText);
// Reads "OK <int>"; false for "ERR ..." or anything malformed.
bool ParseIntAnswer(const std::string& sAnswer, int& iResult);
// Reads "OK <text>" and unescapes the text.
bool ParseTextAnswer(const std::string& sAnswer, std::string& sText);

// Backslash, CR, LF and other control bytes become "\\", "\r", "\n" and "\xHH", so that any
// text fits one answer line; UnescapeAnswerText reverses it.
std::string EscapeAnswerText(const std::string& sText);
std::string UnescapeAnswerText(const std::string& sText);

}  // namespace wdx
