// CBaresipPeer: Debian's baresip as the far end of a SIP call on loopback, for the end-to-end
// tests and the benchmarks. Each peer runs from a private configuration folder made here: it
// listens on 127.0.0.1 at a free port, offers and takes G.711 only, uses no sound card (what it
// says comes from a WAV file; what it hears is recorded by its sndfile filter, one file per call)
// and no NAT helpers. A callee answers at once or never; a caller dials one URI once it is up.
//
// What a peer says is one word, synthesised by the speech layer, said over and over with a
// pause after each (or silence only). baresip hangs up when the file ends, so the
// file is as long as the longest call the peer should take part in.
//
// Threading: one test thread. The process is stopped (SIGTERM, SIGKILL if it lingers) and its
// folder removed when the object goes; it also dies with the test program.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/temp_folder.h"

namespace wdx::test {

struct SPeerOptions {
  std::string m_sUser = "peer";  // the user part of its address
  std::string m_sWord;           // what it says over and over once in a call; empty: silence
  bool m_bAnswers = true;        // false: an incoming call rings until the caller gives up
  int m_iTalkSeconds = 180;      // how long it talks before it hangs up
  // The silence after each time it says its word: long enough for a recogniser to hear the end
  // of one answer before the next (with a second, two answers often run into one).
  int m_iPauseMs = 2000;
  std::string m_sDial;  // not empty: the peer calls this URI as soon as it is up

  SPeerOptions& User(std::string sUser) { return Set(m_sUser, std::move(sUser)); }
  SPeerOptions& Says(std::string sWord) { return Set(m_sWord, std::move(sWord)); }
  SPeerOptions& NeverAnswers() { return Set(m_bAnswers, false); }
  SPeerOptions& TalksFor(int iSeconds) { return Set(m_iTalkSeconds, iSeconds); }
  SPeerOptions& Dials(std::string sUri) { return Set(m_sDial, std::move(sUri)); }

 private:
  template <typename T>
  SPeerOptions& Set(T& oMember, T oValue) {
    oMember = std::move(oValue);
    return *this;
  }
};

class CBaresipPeer final {
 public:
  explicit CBaresipPeer(SPeerOptions oOptions);
  ~CBaresipPeer();
  CBaresipPeer(const CBaresipPeer&) = delete;
  CBaresipPeer& operator=(const CBaresipPeer&) = delete;

  // Writes the configuration and the WAV file, starts baresip and waits (up to iWaitMs) until
  // it is ready to take calls; a port another process took in the meantime means another try
  // on another port. False, with the reason in Error(), when it did not come up.
  bool Start(int iWaitMs = 30000);
  // Ends the process: its calls are hung up and its recordings completed. True when it ended
  // by itself within iWaitMs (it is killed otherwise).
  bool Stop(int iWaitMs = 15000);

  // "sip:USER@127.0.0.1:PORT"; valid after Start.
  std::string Uri() const;
  int Port() const { return m_iPort; }
  const std::string& Error() const { return m_sError; }
  // What baresip printed so far (its log: calls, SDP, errors).
  std::string Output() const;
  // How often baresip printed a line holding sText so far.
  int CountInOutput(const std::string& sText) const;
  // Waits up to iWaitMs until baresip printed sText iCount times; true when it did.
  bool WaitForOutput(const std::string& sText, int iCount, int iWaitMs) const;

  // The recordings of what it heard, one per call, oldest first.
  std::vector<std::string> Recordings() const;
  // The samples (8 kHz) of recording uIndex; false when it is missing or unreadable.
  bool ReadRecording(size_t uIndex, std::vector<int16_t>& aSamples) const;

 private:
  bool WriteFiles();
  bool Launch();
  bool WaitUntilReady(int iWaitMs);
  bool Reap(int iWaitMs);

  SPeerOptions m_oOptions;
  CTempFolder m_oFolder;
  int m_iPort = 0;
  int m_iPid = -1;
  std::string m_sError;
};

// A loopback port free for baresip's SIP listeners: UDP and TCP on it, TCP on the next one.
int FindFreeSipPort();

}  // namespace wdx::test
