// The phone alert's reaction time: from the down decision (CPhoner::SendDownMessage, as the GO
// loop calls it) to the first word heard on the simulated line, with the real component, the
// real espeak-ng and pocketsphinx. The simulated callee's ring (2000 ms of service time) is taken
// out by WDX_TIME_SCALE=1000, so what is left is Wardenix's own path: the hand-over to the calling
// thread, the contact list, the call set-up, the audio routing and the first phrase's synthesis.
//
//   build/bench/phone_bench [rounds]
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "components/rirer2oduvo/rirer2oduvo.h"
#include "platform/telephony/sim_line.h"
#include "service/alerts/phoner.h"
#include "service/settings/all_sets.h"
#include "tests/support/temp_folder.h"

int main(int argc, char** argv) {
  using namespace wdx;
  using Clock = std::chrono::steady_clock;
  const int iRounds = argc > 1 ? std::max(1, atoi(argv[1])) : 10;
  setenv("WDX_TIME_SCALE", "1000", 1);
  test::CTempFolder oFolder;
  oFolder.Write("grammer1.cfg", "#JSGF V1.0;\ngrammar a;\npublic <a> = YES | No | GOODBYE | BYE;\n");
  CAllSets oSets;
  oSets.m_bPhoneAck = false;
  oSets.m_abPhoneEnabled[0] = true;
  oSets.m_aoStrPhoneName[0].Assign("Ann");
  oSets.m_aoStrPhoneNumber[0].Assign("sim:silent");
  oSets.m_oStrMsgDown.Assign("The shop is down.");
  CPhoner oPhoner([] () -> IRirer2Oduvo* {
    auto* pObject = new CRirer2Oduvo(rirer::GetRealPhoneEngines());
    pObject->AddRef();
    return pObject;
  });
  oPhoner.SetWorkingDirectory(oFolder.Path());
  if (!oPhoner.Initialize(&oSets) || !oPhoner.IsReady()) {
    std::fprintf(stderr, "phone_bench: the phone component is not ready\n");
    return 1;
  }
  std::vector<double> aMs;
  for (int i = 0; i < iRounds; ++i) {
    const Clock::time_point tStart = Clock::now();
    std::thread oRound([&] {
      oPhoner.SetMessageType(PHONE_MSG_SERVER_DOWN);
      oPhoner.SendDownMessage();
    });
    while (SimLineFirstAudioTime() < tStart) std::this_thread::sleep_for(std::chrono::microseconds(200));
    aMs.push_back(std::chrono::duration<double, std::milli>(SimLineFirstAudioTime() - tStart).count());
    oRound.join();
  }
  std::sort(aMs.begin(), aMs.end());
  std::printf("down decision to first word on the line (%d rounds): median %.1f ms, min %.1f ms, max %.1f ms\n",
              iRounds, aMs[aMs.size() / 2], aMs.front(), aMs.back());
  return 0;
}
