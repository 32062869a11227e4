// CSenseTest: one run of the sensitivity test, the detection pass of a GO cycle made in the
// console itself: refuse when the settings do not allow a test; then re-create the performance
// watcher, find the watched programs and give it their counters (and the web server's when
// "UseIIS" is set), test the local and the remote URLs, and sample the counters for the time
// the sensitivity gives. The outcome is a picture (pass or fail) and the "Failed Item" text.
//
// The pieces it drives stand behind ISenseProbe: CSenseProbe (sense_probe.h) is the real one,
// with the process watch, the URL checks and the Perfwatch component the service uses; unit
// tests give a fake.
//
// Threading: Refuse() and Run() are called on one thread (Run may take up to 130 s and cannot
// be stopped). The progress (GetProgress) may be read from any thread at any time.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace wdx {

// What the test needs of the settings file.
struct SSenseSettings {
  bool m_bRequiredsValid = false;  // logon ID and password present
  bool m_bWatch = true;            // "WATCH" ("Auto Detect")
  std::string m_sMachineName;
  bool m_bUseIis = false;
};

class ISenseProbe {
 public:
  virtual ~ISenseProbe() = default;
  // Whether a performance watcher object exists (one is created when none does).
  virtual bool HasWatcher() = 0;
  // Releases the watcher completely and creates it again.
  virtual void RecreateWatcher() = 0;
  // Initialises the watch manager and builds the process keys; false with the watch manager's
  // failure text.
  virtual bool LoadProcessKeys(std::string& sFailure) = 0;
  // Adds the web server's keys (its outcome changes nothing here).
  virtual void LoadUrlWatches() = 0;
  // The local URLs; false with the first failing URL.
  virtual bool TestLocalUrls(std::string& sFailedItem) = 0;
  // The remote URLs; the remote state (100 none, 101 all alive, 102 one failed) and the first
  // failing URL.
  virtual int TestRemoteUrls(std::string& sFailedItem) = 0;
  // The activity sample; true when every counter showed activity.
  virtual bool Sample(int iPeriodMs, int iSeconds) = 0;
  virtual std::string GetFirstFailure() = 0;
  // Process images the watch manager registered.
  virtual int GetProcessKeyCount() = 0;
};

enum class ESensePicture { kNone, kComputing, kPass, kFail };
const char* SensePictureName(ESensePicture ePicture);  // "none", "computing", "pass", "fail"

struct SSenseOutcome {
  ESensePicture m_ePicture = ESensePicture::kNone;
  std::string m_sFailedItem;
  bool m_bSampled = false;  // the steps came as far as the activity sample
};

// Where a running test stands: the sample's total seconds and how far it has come.
struct SSenseProgress {
  bool m_bBusy = false;
  bool m_bSampling = false;  // the URL checks are done and the sample runs
  int m_iElapsedSeconds = 0;
  int m_iTotalSeconds = 0;
};

class CSenseTest final {
 public:
  CSenseTest() = default;
  CSenseTest(const CSenseTest&) = delete;
  CSenseTest& operator=(const CSenseTest&) = delete;

  // The refusal text when the settings do not allow a test (checked in the order the texts are
  // listed in sense_pass.cc), "" when a test may run. Changes nothing.
  static std::string Refuse(const SSenseSettings& oSettings, ISenseProbe& oProbe);

  // Runs the test with the sensitivity (0..100) after Refuse passed. Busy while it runs.
  SSenseOutcome Run(const SSenseSettings& oSettings, ISenseProbe& oProbe, int iSensitivity);

  SSenseProgress GetProgress() const;

 private:
  SSenseOutcome Steps(const SSenseSettings& oSettings, ISenseProbe& oProbe, int iSensitivity);

  std::atomic<bool> m_bBusy{false};
  std::atomic<int> m_iTotalSeconds{0};
  std::atomic<int64_t> m_iSampleStartMs{-1};  // monotonic, -1 while not sampling
};

}  // namespace wdx
