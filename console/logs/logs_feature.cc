#include "console/logs/logs_feature.h"

#include <charconv>
#include <string>

#include "console/about.h"
#include "console/logs/log_reader.h"

namespace wdx {
namespace {

// A whole non-negative decimal number; false for anything else.
bool ParseOffset(const std::string& sText, int64_t& iValue) {
  const char* pEnd = sText.data() + sText.size();
  auto [pStop, eError] = std::from_chars(sText.data(), pEnd, iValue);
  return !sText.empty() && eError == std::errc() && pStop == pEnd && iValue >= 0;
}

// The query value of sName into iValue when it is there; false when it is there and bad.
bool OptionalNumber(const SApiRequest& oRequest, const char* szName, int64_t& iValue,
                    bool& bGiven) {
  auto it = oRequest.m_oQuery.find(szName);
  bGiven = it != oRequest.m_oQuery.end();
  return !bGiven || ParseOffset(it->second, iValue);
}

nlohmann::json PageJson(const std::string& sName, const char* szFile, const SLogPage& oPage) {
  return nlohmann::json{
      {"name", sName},           {"file", szFile},          {"exists", oPage.m_bExists},
      {"size", oPage.m_iSize},   {"start", oPage.m_iStart}, {"end", oPage.m_iEnd},
      {"lines", oPage.m_oLines}, {"tail", oPage.m_sTail},   {"rotated", oPage.m_bRotated},
      {"more", oPage.m_bMore}};
}

class CLogsFeature final : public IConsoleFeature {
 public:
  explicit CLogsFeature(const SConsoleContext& oContext) : m_sFolder(oContext.m_sProgramFolder) {}

  void RegisterApi(IApiRegistry& oRegistry) override {
    oRegistry.AddGet("/api/log", [this](const SApiRequest& oRequest) { return GetLog(oRequest); });
    oRegistry.AddGet("/api/about", [this](const SApiRequest&) {
      const SAboutInfo oAbout = GetAboutInfo(m_sFolder);
      return SApiReply::Ok({{"product", oAbout.m_sProduct},
                            {"version", oAbout.m_sVersion},
                            {"programFolder", oAbout.m_sProgramFolder},
                            {"copyright", oAbout.m_sCopyright}});
    });
  }

 private:
  SApiReply GetLog(const SApiRequest& oRequest) const;

  const std::string m_sFolder;
};

SApiReply CLogsFeature::GetLog(const SApiRequest& oRequest) const {
  auto itName = oRequest.m_oQuery.find("name");
  const std::string sName = itName == oRequest.m_oQuery.end() ? "" : itName->second;
  const char* szFile = LogFileOfName(sName);
  if (szFile == nullptr) return SApiReply::Error(404, "There is no log of that name.");
  int64_t iBefore = -1;
  int64_t iAfter = 0;
  int64_t iLines = kLogPageDefaultLines;
  bool bBefore = false;
  bool bAfter = false;
  bool bLines = false;
  if (!OptionalNumber(oRequest, "before", iBefore, bBefore) ||
      !OptionalNumber(oRequest, "after", iAfter, bAfter) ||
      !OptionalNumber(oRequest, "lines", iLines, bLines)) {
    return SApiReply::Error(400, "before, after and lines are whole numbers.");
  }
  if (bBefore && bAfter) return SApiReply::Error(400, "Give before or after, not both.");
  if (iLines < 1 || iLines > kLogPageMaxLines) {
    return SApiReply::Error(400, "lines is from 1 to " + std::to_string(kLogPageMaxLines) + ".");
  }
  const CLogReader oReader(m_sFolder + szFile);
  SLogPage oPage;
  std::string sError;
  const bool bRead = bAfter ? oReader.ReadAfter(iAfter, oPage, sError)
                            : oReader.ReadPage(iBefore, static_cast<int>(iLines), oPage, sError);
  if (!bRead) return SApiReply::Error(500, sError);
  return SApiReply::Ok(PageJson(sName, szFile, oPage));
}

}  // namespace

std::unique_ptr<IConsoleFeature> CreateLogsFeature(const SConsoleContext& oContext) {
  return std::make_unique<CLogsFeature>(oContext);
}

}  // namespace wdx
