#include "console/report_params.h"

#include <errno.h>
#include <stdio.h>

#include "foundation/process_log.h"
#include "foundation/txt_file4.h"

namespace wdx {
namespace {

constexpr int kLineBufferSize = 512;

void AddBlock(const char* szMarker, const std::vector<std::string>& oEntries,
              std::vector<std::string>& oLines) {
  if (oEntries.empty()) return;
  oLines.emplace_back(szMarker);
  oLines.insert(oLines.end(), oEntries.begin(), oEntries.end());
}

}  // namespace

std::vector<std::string> BuildReportParamLines(const SReportSections& oSections) {
  std::vector<std::string> oLines;
  AddBlock("@RURLS@", oSections.m_oRemoteUrls, oLines);
  AddBlock("@URLS@", oSections.m_oLocalUrls, oLines);
  AddBlock("@STOPS@", oSections.m_oStops, oLines);
  return oLines;
}

bool CreateReportParams(const std::string& sFolder, const SReportSections& oSections) {
  const std::string sPath = sFolder + REPORT_PARAMS_FILE;
  if (::remove(sPath.c_str()) != 0 && errno != ENOENT) {
    ZuvLogError("CreateReportParams() cannot delete Rpt file.");
    return false;
  }
  CTxtFile4 oTxtFile;
  if (!oTxtFile.Initialize(kLineBufferSize)) {
    ZuvLogError("CreateReportParams() oTxtFile.Initialize failed.");
    return false;
  }
  if (!oTxtFile.Create(sPath.c_str())) {
    ZuvLogError("CreateReportParams() oTxtFile.Create failed.");
    return false;
  }
  bool bOk = true;
  for (const std::string& sLine : BuildReportParamLines(oSections))
    bOk = oTxtFile.WriteTextLine(sLine.c_str()) && bOk;
  bOk = oTxtFile.Close() && bOk;
  if (!bOk) {
    ZuvLogError("CreateReportParams() cannot write Rpt file.");
    return false;
  }
  ZuvLogMessage("CreateReportParams()  Done. OK.");
  return true;
}

}  // namespace wdx
