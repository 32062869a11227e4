// The simulated line: numbers "sim:<script>" dial a scripted callee (sim_callee.h), for tests,
// demos and operators trying the system without a telephone account. Scripts:
//   sim:yes, sim:no, sim:goodbye   answer, and say that word on their turn;
//   sim:say:<words>                answers, and says the words on its turn;
//   sim:key:<key>                  answers, and presses the key (0-9, *, #) on its turn;
//   sim:silent                     answers and never says anything;
//   sim:hangup                     answers, says nothing, hangs up after hearing 3 s of audio;
//   sim:busy                       rings, then the line is busy;
//   sim:noanswer                   rings for 30 s, then gives up.
// Dialling rings for 2 s of service time (WDX_TIME_SCALE shortens it, platform/clock.h); a
// hang-up or a telephony shutdown ends the ringing at once. An answered call records what the
// callee hears to "simcalls/<YYYYMMDD-HHMMSS>-<n>-<script>.wav" in the working folder ("say" for
// sim:say:...) and, when the call ends, writes the platform log message
// "Simulated call to <number> recorded in <path>".
//
// Threading: as ITelCall; the first-sound time may be read from any thread.
#pragma once

#include <chrono>
#include <string>

namespace wdx {

struct SSimNumber {
  std::string m_sScript;  // "yes", ..., "say"
  std::string m_sWords;   // what the callee says on its turn
  char m_cKey = 0;        // the key it presses on its turn; 0: none
  int m_iRingMs = 0;      // service time it rings before it answers or gives up
  bool m_bAnswers = false;
  bool m_bBusy = false;
  bool m_bHangsUp = false;
};

inline constexpr const char* kSimPrefix = "sim:";
inline constexpr int kSimRingMs = 2000;
inline constexpr int kSimNoAnswerMs = 30000;
inline constexpr int kSimHangUpAfterMs = 3000;

// Reads a "sim:" number; false when it names no script.
bool ParseSimNumber(const std::string& sNumber, SSimNumber& oNumber);

// When the latest answered simulated call first heard sound (steady clock), or a default
// (zero) time point when it has heard none yet. For benchmarks of how soon an alert is spoken.
std::chrono::steady_clock::time_point SimLineFirstAudioTime();

}  // namespace wdx
