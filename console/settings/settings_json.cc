#include "console/settings/settings_json.h"

namespace wdx {
namespace {

const nlohmann::json kNull;

}  // namespace

CJsonFields::CJsonFields(const nlohmann::json& oBody) : m_oBody(oBody) {
  if (!m_oBody.is_object()) m_sProblem = "The request's body must be a JSON object.";
}

const nlohmann::json* CJsonFields::Field(const char* szName) {
  if (!IsValid()) return nullptr;
  const auto itField = m_oBody.find(szName);
  if (itField == m_oBody.end()) {
    m_sProblem = std::string("The field \"") + szName + "\" is missing.";
    return nullptr;
  }
  return &*itField;
}

std::string CJsonFields::Text(const char* szName) {
  const nlohmann::json* pField = Field(szName);
  if (pField == nullptr) return "";
  if (pField->is_string()) return pField->get<std::string>();
  m_sProblem = std::string("The field \"") + szName + "\" must be a text.";
  return "";
}

bool CJsonFields::Flag(const char* szName) {
  const nlohmann::json* pField = Field(szName);
  if (pField == nullptr) return false;
  if (pField->is_boolean()) return pField->get<bool>();
  m_sProblem = std::string("The field \"") + szName + "\" must be true or false.";
  return false;
}

std::vector<std::string> CJsonFields::Lines(const char* szName) {
  const nlohmann::json* pField = Field(szName);
  std::vector<std::string> oLines;
  if (pField == nullptr) return oLines;
  bool bOk = pField->is_array();
  for (size_t i = 0; bOk && i < pField->size(); ++i) {
    bOk = (*pField)[i].is_string();
    if (bOk) oLines.push_back((*pField)[i].get<std::string>());
  }
  if (!bOk) m_sProblem = std::string("The field \"") + szName + "\" must be a list of texts.";
  return oLines;
}

const nlohmann::json& CJsonFields::Object(const char* szName) {
  const nlohmann::json* pField = Field(szName);
  if (pField == nullptr) return kNull;
  if (pField->is_array() || pField->is_object()) return *pField;
  m_sProblem = std::string("The field \"") + szName + "\" must be a list.";
  return kNull;
}

std::string PrintableText(const std::string& sText) {
  std::string sShown = sText;
  for (char& c : sShown) {
    const unsigned char u = static_cast<unsigned char>(c);
    if ((u < 32 && u != '\t' && u != '\r' && u != '\n') || u > 126) c = '?';
  }
  return sShown;
}

nlohmann::json LinesJson(const std::vector<std::string>& oLines) {
  nlohmann::json oList = nlohmann::json::array();
  for (const std::string& sLine : oLines) oList.push_back(PrintableText(sLine));
  return oList;
}

SApiReply OutcomeReply(const SDialogOutcome& oOutcome) {
  if (!oOutcome.m_sError.empty()) return SApiReply::Error(400, oOutcome.m_sError);
  nlohmann::json oMessages = nlohmann::json::array();
  for (const std::string& sText : oOutcome.m_oMessages) oMessages.push_back(PrintableText(sText));
  return SApiReply::Ok({{"accepted", oOutcome.m_bAccepted},
                        {"closed", oOutcome.m_bClosed},
                        {"messages", oMessages}});
}

}  // namespace wdx
