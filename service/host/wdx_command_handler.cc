#include "service/host/wdx_command_handler.h"

#include "foundation/process_log.h"
#include "service/host/command_protocol.h"
#include "service/host/wdx_svr.h"

namespace wdx {

std::string CWdxCommandHandler::HandleLine(const std::string& sLine) {
  const SCommandRequest oRequest = ParseRequest(sLine);
  switch (oRequest.m_eKind) {
    case ERequestKind::OPS_COMMAND:
      return FormatIntAnswer(m_oServer.OpsCommand(oRequest.m_iCode));
    case ERequestKind::GET_STRING_RESULT:
      return FormatTextAnswer(m_oServer.GetStringResult(oRequest.m_iCode));
    case ERequestKind::MALFORMED:
      break;
  }
  ReportBadRequest("CWdxCommandHandler::HandleLine() malformed request received.");
  return WDX_ANSWER_BAD_REQUEST;
}

std::string CWdxCommandHandler::OverflowAnswer() {
  ReportBadRequest("CWdxCommandHandler::HandleLine() request line too long; connection closed.");
  return WDX_ANSWER_TOO_LONG;
}

void CWdxCommandHandler::ReportBadRequest(const char* szWhat) {
  ++m_lBadRequests;
  if (m_lBadRequests <= MAX_LOGGED_BAD_REQUESTS || m_lBadRequests % 1000 == 0) ZuvLogError(szWhat);
}

}  // namespace wdx
