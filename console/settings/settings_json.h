// Conversions between the settings dialogs' values and the JSON of /api/settings/.
//
// CJsonFields reads the fields of a POST body and keeps the first problem (a missing field or
// one of the wrong type), so a handler reads everything and then asks IsValid once. Texts put
// into replies are printable ASCII (the settings file holds nothing else; a damaged file's
// other bytes are shown as "?"; the message boxes' line breaks stay).
//
// Threading: pure functions; one CJsonFields per request.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "console/settings/dialog_file.h"
#include "console/web/console_api.h"

namespace wdx {

class CJsonFields final {
 public:
  explicit CJsonFields(const nlohmann::json& oBody);

  std::string Text(const char* szName);
  bool Flag(const char* szName);
  std::vector<std::string> Lines(const char* szName);
  const nlohmann::json& Object(const char* szName);

  bool IsValid() const { return m_sProblem.empty(); }
  SApiReply BadRequest() const { return SApiReply::Error(400, m_sProblem); }

 private:
  const nlohmann::json* Field(const char* szName);

  const nlohmann::json& m_oBody;
  std::string m_sProblem;
};

// The text with every byte outside 32..126 (but tab, CR and LF) shown as "?".
std::string PrintableText(const std::string& sText);
nlohmann::json LinesJson(const std::vector<std::string>& oLines);
// {accepted, closed, messages}, or 400 with the error when the input could not be stored.
SApiReply OutcomeReply(const SDialogOutcome& oOutcome);

}  // namespace wdx
