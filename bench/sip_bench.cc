// Call set-up time over SIP on loopback: a baresip peer that answers at once, dialled through
// the telephony layer as the phone component dials. Measured from the start of Connect(true) to
// its return, i.e. INVITE, the peer's 100/180/200, our ACK and the connected state delivered to
// the event sink. Each call is hung up (BYE) before the next; the peer keeps running. Its audio
// file is short: baresip reads the whole file as it answers (a 10 MB one adds 20 ms).
//
//   build/bench/sip_bench [calls]
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include "platform/telephony/telephony.h"
#include "tests/support/baresip_peer.h"
#include "tests/support/temp_folder.h"

namespace {

// Counts the connected states it is told of.
class CConnectedCounter final : public wdx::ITelEventSink {
 public:
  wdx::HRESULT Event(const wdx::STelEvent& oEvent) override {
    if (oEvent.m_iEvent == wdx::TE_CALLSTATE && oEvent.m_iCallState == wdx::CS_CONNECTED)
      ++m_iCount;
    return wdx::S_OK;
  }
  int m_iCount = 0;
};

}  // namespace

int main(int argc, char** argv) {
  using namespace wdx;
  using Clock = std::chrono::steady_clock;
  const int iCalls = argc > 1 ? std::max(1, atoi(argv[1])) : 20;
  test::CBaresipPeer oPeer(test::SPeerOptions().User("bench").TalksFor(5));
  if (!oPeer.Start()) {
    std::fprintf(stderr, "sip_bench: baresip did not start: %s\n", oPeer.Error().c_str());
    return 1;
  }
  test::CTempFolder oFolder;
  std::unique_ptr<ITelephony> pTelephony;
  std::vector<std::shared_ptr<ITelAddress>> aAddresses;
  CConnectedCounter oSink;
  uint32_t uCookie = 0;
  if (CreateTelephony(oFolder.Path(), pTelephony) != S_OK || pTelephony->Initialize() != S_OK ||
      pTelephony->EnumerateAddresses(aAddresses) != S_OK || aAddresses.empty() ||
      pTelephony->Advise(&oSink, uCookie) != S_OK ||
      pTelephony->SetEventFilter(TE_CALLSTATE) != S_OK) {
    std::fprintf(stderr, "sip_bench: no telephony line\n");
    return 1;
  }
  std::vector<double> aMs;
  for (int i = 0; i < iCalls; ++i) {
    std::shared_ptr<ITelCall> pCall;
    if (aAddresses[0]->CreateCall(oPeer.Uri(), LINEADDRESSTYPE_PHONENUMBER, TAPIMEDIATYPE_AUDIO,
                                  pCall) != S_OK) {
      std::fprintf(stderr, "sip_bench: cannot create a call to %s\n", oPeer.Uri().c_str());
      return 1;
    }
    const Clock::time_point tStart = Clock::now();
    const HRESULT hr = pCall->Connect(true);
    const Clock::time_point tEnd = Clock::now();
    if (hr != S_OK) {
      std::fprintf(stderr, "sip_bench: call %d failed: %s\n", i + 1, DescribeTelephonyResult(hr));
      return 1;
    }
    aMs.push_back(std::chrono::duration<double, std::milli>(tEnd - tStart).count());
    pCall->Disconnect();
  }
  pTelephony->Unadvise(uCookie);
  pTelephony->Shutdown();
  std::sort(aMs.begin(), aMs.end());
  std::printf(
      "SIP call set-up on loopback, Connect(true) to S_OK (%d calls, %d connected events): "
      "median %.2f ms, min %.2f ms, max %.2f ms\n",
      iCalls, oSink.m_iCount, aMs[aMs.size() / 2], aMs.front(), aMs.back());
  return 0;
}
