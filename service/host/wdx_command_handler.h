// CWdxCommandHandler: turns the command endpoint's request lines into calls of the command
// object and its results into answer lines (see command_protocol.h). Malformed requests are
// answered with an error and logged (the first MAX_LOGGED_BAD_REQUESTS of them, then every
// 1000th, so that a flood of garbage cannot fill the disk).
//
// Threading: called by the endpoint's server thread only.
#pragma once

#include <string>

#include "platform/command_endpoint.h"

namespace wdx {

class CWDXSVR;

class CWdxCommandHandler final : public ICommandHandler {
 public:
  static constexpr int MAX_LOGGED_BAD_REQUESTS = 100;

  explicit CWdxCommandHandler(CWDXSVR& oServer) : m_oServer(oServer) {}
  CWdxCommandHandler(const CWdxCommandHandler&) = delete;
  CWdxCommandHandler& operator=(const CWdxCommandHandler&) = delete;

  std::string HandleLine(const std::string& sLine) override;
  std::string OverflowAnswer() override;

 private:
  void ReportBadRequest(const char* szWhat);

  CWDXSVR& m_oServer;
  long m_lBadRequests = 0;
};

}  // namespace wdx
