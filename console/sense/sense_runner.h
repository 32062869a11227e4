// CSenseRunner: runs sensitivity tests one at a time on a worker thread of its own, for callers
// that must not wait for them (the web console's page polls their state). A start is refused at
// once, with the test's refusal text, when the settings do not allow it; a test that runs cannot
// be stopped (up to 130 s), and a second start while it runs is refused.
//
// The probe factory makes the test's pieces with the settings as they are on disk now.
//
// Threading: every method may be called from any thread; Shutdown waits for a running test.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "console/sense/sense_pass.h"

namespace wdx {

struct SSenseProbeLoad {
  std::unique_ptr<ISenseProbe> m_pProbe;  // null when the settings could not be read
  SSenseSettings m_oSettings;
  std::string m_sError;  // why m_pProbe is null
};
using FnMakeSenseProbe = std::function<SSenseProbeLoad()>;

// What the page shows of the test.
struct SSenseState {
  SSenseProgress m_oProgress;
  ESensePicture m_ePicture = ESensePicture::kNone;  // kComputing while busy
  std::string m_sFailedItem;
  int m_iTestedSensitivity = -1;  // of the running or last test; -1 before the first
};

enum class ESenseStart { kStarted, kRefused, kBusy, kNoSettings };

class CSenseRunner final {
 public:
  explicit CSenseRunner(FnMakeSenseProbe fnMakeProbe) : m_fnMakeProbe(std::move(fnMakeProbe)) {}
  ~CSenseRunner();
  CSenseRunner(const CSenseRunner&) = delete;
  CSenseRunner& operator=(const CSenseRunner&) = delete;

  // Starts a test with the sensitivity (0..100); sMessage holds the refusal or error text when
  // it does not start.
  ESenseStart Start(int iSensitivity, std::string& sMessage);
  SSenseState GetState() const;
  bool IsBusy() const;
  // Waits for a running test to end; no test starts afterwards.
  void Shutdown();

 private:
  void Work(std::unique_ptr<ISenseProbe> pProbe, SSenseSettings oSettings, int iSensitivity);

  FnMakeSenseProbe m_fnMakeProbe;
  CSenseTest m_oTest;
  mutable std::mutex m_oMutex;  // guards the members below
  bool m_bBusy = false;
  bool m_bShutDown = false;
  SSenseOutcome m_oLast;
  int m_iTestedSensitivity = -1;
  std::thread m_oWorker;
};

}  // namespace wdx
