// Placeholder until the SIP signalling lands: answers for every non-simulated number and refuses it.
#include "platform/platform_log.h"
#include "platform/telephony/tel_backend.h"

namespace wdx {
namespace {

class CSipBackend final : public ITelBackend {
 public:
  explicit CSipBackend(FnSipAccount fnAccount) : m_fnAccount(std::move(fnAccount)) {}
  bool CanDial(const std::string&) const override { return true; }
  HRESULT CreateCall(const std::string&, std::shared_ptr<CTelEventHub>,
                     std::shared_ptr<ITelCall>& pCall) override {
    pCall.reset();
    return TEL_E_NOLINE;
  }

 private:
  FnSipAccount m_fnAccount;
};

}  // namespace

std::unique_ptr<ITelBackend> CreateSipBackend(FnSipAccount fnAccount) {
  return std::make_unique<CSipBackend>(std::move(fnAccount));
}

}  // namespace wdx
