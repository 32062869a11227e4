#include "tests/support/baresip_peer.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/audio/wav_file.h"
#include "platform/speech/speech.h"

namespace wdx::test {
namespace {

constexpr uint32_t kRate = 8000;
constexpr const char* kProgram = "/usr/bin/baresip";
constexpr const char* kReady = "baresip is ready.";

// Binds a loopback socket of the type to iPort (0: any); the port bound, or 0 when it is taken.
int BindLoopback(int iType, int iPort) {
  const int iSocket = ::socket(AF_INET, iType | SOCK_CLOEXEC, 0);
  if (iSocket < 0) return 0;
  sockaddr_in oAddress{};
  oAddress.sin_family = AF_INET;
  oAddress.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  oAddress.sin_port = htons(static_cast<uint16_t>(iPort));
  socklen_t uLength = sizeof(oAddress);
  int iBound = 0;
  if (::bind(iSocket, reinterpret_cast<sockaddr*>(&oAddress), sizeof(oAddress)) == 0 &&
      ::getsockname(iSocket, reinterpret_cast<sockaddr*>(&oAddress), &uLength) == 0) {
    iBound = ntohs(oAddress.sin_port);
  }
  ::close(iSocket);
  return iBound;
}

bool Sleep10ms() {
  std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return true;
}

}  // namespace

int FindFreeSipPort() {
  for (int iTry = 0; iTry < 100; ++iTry) {
    const int iPort = BindLoopback(SOCK_DGRAM, 0);
    if (iPort == 0 || iPort >= 65535) continue;
    if (BindLoopback(SOCK_STREAM, iPort) == iPort &&
        BindLoopback(SOCK_STREAM, iPort + 1) == iPort + 1)
      return iPort;
  }
  return 0;
}

CBaresipPeer::CBaresipPeer(SPeerOptions oOptions) : m_oOptions(std::move(oOptions)) {}

CBaresipPeer::~CBaresipPeer() {
  Stop();
}

std::string CBaresipPeer::Uri() const {
  return "sip:" + m_oOptions.m_sUser + "@127.0.0.1:" + std::to_string(m_iPort);
}

std::string CBaresipPeer::Output() const {
  return m_oFolder.Read("output.txt");
}

int CBaresipPeer::CountInOutput(const std::string& sText) const {
  const std::string sOutput = Output();
  int iCount = 0;
  for (size_t u = sOutput.find(sText); u != std::string::npos; u = sOutput.find(sText, u + 1))
    ++iCount;
  return iCount;
}

bool CBaresipPeer::WaitForOutput(const std::string& sText, int iCount, int iWaitMs) const {
  const auto oDeadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(iWaitMs);
  while (CountInOutput(sText) < iCount && std::chrono::steady_clock::now() < oDeadline) Sleep10ms();
  return CountInOutput(sText) >= iCount;
}

bool CBaresipPeer::WriteFiles() {
  std::vector<int16_t> aWord;
  if (!m_oOptions.m_sWord.empty() && !SynthesizeSpeech(m_oOptions.m_sWord, kRate, aWord)) {
    m_sError = "the speech engine could not say \"" + m_oOptions.m_sWord + "\"";
    return false;
  }
  const std::vector<int16_t> aSilence(kRate * m_oOptions.m_iPauseMs / 1000, 0);
  const size_t uTotal = static_cast<size_t>(m_oOptions.m_iTalkSeconds) * kRate;
  CWavWriter oWriter;
  bool bWritten = oWriter.Create(m_oFolder.File("says.wav"), kRate, false);
  while (bWritten && oWriter.GetSampleCount() < uTotal) {
    bWritten = oWriter.Append(aWord.data(), aWord.size()) &&
               oWriter.Append(aSilence.data(), aSilence.size());
  }
  if (!oWriter.Close() || !bWritten) {
    m_sError = "could not write " + m_oFolder.File("says.wav");
    return false;
  }
  std::filesystem::create_directory(m_oFolder.File("heard"));
  std::string sConfig =
      "poll_method epoll\n"
      "sip_listen 127.0.0.1:" +
      std::to_string(m_iPort) +
      "\n"
      "net_interface 127.0.0.1\n"
      "audio_source aufile," +
      m_oFolder.File("says.wav") +
      "\n"
      "audio_player aubridge,nil\n"
      "audio_alert aubridge,nil\n"
      "ausrc_srate 8000\nauplay_srate 8000\nausrc_channels 1\nauplay_channels 1\n"
      "snd_path " +
      m_oFolder.File("heard") +
      "\n"
      "module_path /usr/lib/baresip/modules\n"
      "module g711.so\nmodule aufile.so\nmodule aubridge.so\nmodule sndfile.so\n"
      "module_tmp account.so\n";
  if (!m_oOptions.m_sDial.empty()) sConfig += "module_app menu.so\n";
  m_oFolder.Write("config", sConfig);
  m_oFolder.Write("accounts", "<sip:" + m_oOptions.m_sUser + "@127.0.0.1>;regint=0;answermode=" +
                                  (m_oOptions.m_bAnswers ? "auto" : "manual") + "\n");
  return true;
}

bool CBaresipPeer::Launch() {
  std::vector<std::string> aArgs = {kProgram, "-f", m_oFolder.Path()};
  if (!m_oOptions.m_sDial.empty()) aArgs.insert(aArgs.end(), {"-e", "/dial " + m_oOptions.m_sDial});
  std::vector<char*> aArgv;
  for (std::string& sArg : aArgs) aArgv.push_back(sArg.data());
  aArgv.push_back(nullptr);
  const std::string sOutput = m_oFolder.File("output.txt");
  const pid_t iParent = ::getpid();
  m_iPid = ::fork();
  if (m_iPid < 0) {
    m_sError = "fork failed";
    return false;
  }
  if (m_iPid == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != iParent) ::_exit(127);
    const int iIn = ::open("/dev/null", O_RDONLY);
    const int iOut = ::open(sOutput.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0644);
    if (iIn < 0 || iOut < 0) ::_exit(127);
    ::dup2(iIn, 0);
    ::dup2(iOut, 1);
    ::dup2(iOut, 2);
    ::execv(kProgram, aArgv.data());
    ::_exit(127);
  }
  return true;
}

bool CBaresipPeer::Reap(int iWaitMs) {
  const auto oDeadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(iWaitMs);
  do {
    if (::waitpid(m_iPid, nullptr, WNOHANG) == m_iPid) {
      m_iPid = -1;
      return true;
    }
  } while (std::chrono::steady_clock::now() < oDeadline && Sleep10ms());
  return false;
}

bool CBaresipPeer::WaitUntilReady(int iWaitMs) {
  const auto oDeadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(iWaitMs);
  do {
    if (CountInOutput(kReady) > 0) return true;
    if (Reap(0)) {
      m_sError = "baresip ended before it was ready:\n" + Output();
      return false;
    }
  } while (std::chrono::steady_clock::now() < oDeadline && Sleep10ms());
  m_sError = "baresip was not ready in time:\n" + Output();
  return false;
}

bool CBaresipPeer::Start(int iWaitMs) {
  if (m_iPid > 0) return true;
  // Between the search for a free port and baresip's bind another program may take it: baresip
  // then ends at once and the next try takes another port.
  for (int iTry = 0; iTry < 5; ++iTry) {
    m_iPort = FindFreeSipPort();
    if (m_iPort == 0) {
      m_sError = "no free loopback port";
      return false;
    }
    if (!WriteFiles() || !Launch()) return false;
    if (WaitUntilReady(iWaitMs)) {
      m_sError.clear();
      return true;
    }
    if (m_iPid > 0) break;  // still running but not ready: not a port clash
  }
  Stop(0);
  return false;
}

bool CBaresipPeer::Stop(int iWaitMs) {
  if (m_iPid <= 0) return true;
  ::kill(m_iPid, SIGTERM);
  if (Reap(iWaitMs)) return true;
  ::kill(m_iPid, SIGKILL);
  ::waitpid(m_iPid, nullptr, 0);
  m_iPid = -1;
  return false;
}

std::vector<std::string> CBaresipPeer::Recordings() const {
  std::vector<std::string> aPaths;
  std::error_code oError;
  for (const auto& oEntry : std::filesystem::directory_iterator(m_oFolder.File("heard"), oError)) {
    const std::string sPath = oEntry.path().string();
    if (sPath.ends_with("-dec.wav")) aPaths.push_back(sPath);
  }
  std::sort(aPaths.begin(), aPaths.end());  // names hold the call's start time
  return aPaths;
}

bool CBaresipPeer::ReadRecording(size_t uIndex, std::vector<int16_t>& aSamples) const {
  aSamples.clear();
  const std::vector<std::string> aPaths = Recordings();
  uint32_t uRate = 0;
  return uIndex < aPaths.size() && ReadWavFile(aPaths[uIndex], aSamples, uRate) && uRate == kRate;
}

}  // namespace wdx::test
