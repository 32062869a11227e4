// RTP send jitter of a call's audio: two calls' audio ends on loopback, each sending a 20 ms frame
// per tick of its clock for the length of a call, one of them playing a tone the other listens
// to. The intervals between the packets each side sent are printed (mean, standard deviation,
// largest).
//
//   build/bench/sip_media_bench [seconds]
#include <stdlib.h>

#include <re.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/audio/wave_devices.h"
#include "platform/telephony/sip/sip_media.h"
#include "platform/telephony/sip/sip_stack.h"

namespace {

using wdx::sip::CSipMedia;
using wdx::sip::CSipStack;

bool Connect(CSipMedia& oOffering, CSipMedia& oAnswering) {
  bool bDone = false;
  CSipStack::Get().Call([&] {
    struct mbuf* pOffer = nullptr;
    struct mbuf* pAnswer = nullptr;
    std::string sReason;
    bDone = oOffering.EncodeOffer(&pOffer) == 0 &&
            oAnswering.TakeOffer(pOffer, &pAnswer, sReason) &&
            oOffering.TakeAnswer(pAnswer, sReason) && oOffering.Start(sReason) &&
            oAnswering.Start(sReason);
    if (!bDone) std::fprintf(stderr, "sip_media_bench: %s\n", sReason.c_str());
    mem_deref(pOffer);
    mem_deref(pAnswer);
  });
  return bDone;
}

void Print(const char* szSide, const wdx::sip::SSendStats& oStats) {
  std::printf("%s: %llu packets, send interval mean %.3f ms, std dev %.3f ms, max %.3f ms\n",
              szSide, static_cast<unsigned long long>(oStats.m_uPackets), oStats.m_dMeanIntervalMs,
              oStats.m_dStdDevIntervalMs, oStats.m_dMaxIntervalMs);
}

}  // namespace

int main(int argc, char** argv) {
  const int iSeconds = argc > 1 ? std::max(1, atoi(argv[1])) : 30;
  std::unique_ptr<CSipMedia> pA, pB;
  bool bCreated = false;
  CSipStack::Get().Call([&] {
    struct sa oIp {};
    sa_set_str(&oIp, "127.0.0.1", 0);
    std::string sError;
    bCreated =
        CSipMedia::Create(oIp, nullptr, pA, sError) && CSipMedia::Create(oIp, nullptr, pB, sError);
    if (!bCreated) std::fprintf(stderr, "sip_media_bench: %s\n", sError.c_str());
  });
  if (!bCreated || !Connect(*pA, *pB)) return 1;
  auto pOut = wdx::CWaveDeviceTable::FindWaveOut(pA->GetWaveOutId());
  auto pIn = wdx::CWaveDeviceTable::FindWaveIn(pB->GetWaveInId());
  std::vector<int16_t> aTone(8000);
  for (size_t u = 0; u < aTone.size(); ++u)
    aTone[u] = static_cast<int16_t>(8000 * std::sin(2 * M_PI * 440 * u / 8000.0));
  std::thread oSpeaker([&] {
    while (pOut->Write(aTone.data(), aTone.size())) {
    }
  });
  std::thread oListener([&] {
    std::vector<int16_t> aPiece(160);
    pIn->SetListening(true);
    while (pIn->Read(aPiece.data(), aPiece.size()) == aPiece.size()) {
    }
  });
  std::this_thread::sleep_for(std::chrono::seconds(iSeconds));
  CSipStack::Get().Call([&] {
    pA->Stop();
    pB->Stop();
  });
  oSpeaker.join();
  oListener.join();
  std::printf("RTP send jitter over a %d s call on loopback (20 ms frames):\n", iSeconds);
  Print("caller", pA->GetSendStats());
  Print("callee", pB->GetSendStats());
  CSipStack::Get().Call([&] {
    pA.reset();
    pB.reset();
  });
  return 0;
}
