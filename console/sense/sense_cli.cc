#include "console/sense/sense_cli.h"

#include <atomic>
#include <chrono>
#include <ostream>
#include <thread>

#include "console/sense/sense_params.h"
#include "console/sense/sense_pass.h"
#include "console/sense/sense_probe.h"

namespace wdx {
namespace {

constexpr int kProgressPollMs = 200;
constexpr int kBarWidth = 30;

int Usage(std::ostream& oErr) {
  oErr << "usage: wardenix sensitivity test [S]   (S: a whole number from 0 to 100)\n";
  return 2;
}

std::string ProgressLine(const SSenseProgress& oProgress) {
  if (!oProgress.m_bSampling) return "Testing the URLs...";
  const int iTotal = oProgress.m_iTotalSeconds > 0 ? oProgress.m_iTotalSeconds : 1;
  const int iFilled = oProgress.m_iElapsedSeconds * kBarWidth / iTotal;
  return "Sampling [" + std::string(static_cast<size_t>(iFilled), '#') +
         std::string(static_cast<size_t>(kBarWidth - iFilled), '.') + "] " +
         std::to_string(oProgress.m_iElapsedSeconds) + " of " +
         std::to_string(oProgress.m_iTotalSeconds) + " s";
}

void SamplingLine(std::ostream& oOut, int iSeconds) {
  oOut << "Sampling the watched programs for " << iSeconds << " s..." << std::endl;
}

// Reports the progress of oTest until bDone; true when the sampling line was written.
bool Follow(const CSenseTest& oTest, const std::atomic<bool>& bDone, int iSeconds,
            std::ostream& oOut, bool bTerminal) {
  std::string sShown;
  bool bSamplingShown = false;
  if (!bTerminal) oOut << "Testing the URLs..." << std::endl;
  while (!bDone) {
    const SSenseProgress oProgress = oTest.GetProgress();
    if (bTerminal) {
      const std::string sLine = ProgressLine(oProgress);
      if (sLine != sShown) {
        // Pad over the end of a longer line shown before.
        oOut << "\r" << sLine
             << std::string(sShown.size() > sLine.size() ? sShown.size() - sLine.size() : 0, ' ')
             << std::flush;
        sShown = sLine;
      }
    } else if (oProgress.m_bSampling && !bSamplingShown) {
      SamplingLine(oOut, iSeconds);
      bSamplingShown = true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(kProgressPollMs));
  }
  if (bTerminal && !sShown.empty()) oOut << "\n";
  return bSamplingShown;
}

}  // namespace

int RunSensitivityTest(const std::vector<std::string>& oArgs, const SSenseSettings& oSettings,
                       ISenseProbe& oProbe, const std::string& sStored, std::ostream& oOut,
                       std::ostream& oErr, bool bTerminal) {
  if (oArgs.size() < 2 || oArgs.size() > 3 || oArgs[1] != "test") return Usage(oErr);
  int iSensitivity = SensitivityFromText(sStored);
  if (oArgs.size() == 3 && !ParseSensitivity(oArgs[2], iSensitivity)) return Usage(oErr);
  const std::string sRefusal = CSenseTest::Refuse(oSettings, oProbe);
  if (!sRefusal.empty()) {
    oErr << "wardenix: " << sRefusal << "\n";
    return 1;
  }
  const int iSeconds = SenseSampleSeconds(iSensitivity);
  oOut << "Sensitivity " << iSensitivity << ": a sample of " << iSeconds << " s, every "
       << SenseSamplePeriod(iSensitivity) << " ms. " << SENSE_WARNING << std::endl;
  CSenseTest oTest;
  std::atomic<bool> bDone{false};
  SSenseOutcome oOutcome;
  std::thread oWorker([&] {
    oOutcome = oTest.Run(oSettings, oProbe, iSensitivity);
    bDone = true;
  });
  const bool bSamplingShown = Follow(oTest, bDone, iSeconds, oOut, bTerminal);
  oWorker.join();
  // A sample shorter than a look at the progress is reported all the same.
  if (!bTerminal && !bSamplingShown && oOutcome.m_bSampled) SamplingLine(oOut, iSeconds);
  const bool bPassed = oOutcome.m_ePicture == ESensePicture::kPass;
  oOut << "Result: " << (bPassed ? "pass" : "FAIL") << "\n";
  if (!oOutcome.m_sFailedItem.empty()) oOut << "Failed Item: " << oOutcome.m_sFailedItem << "\n";
  return bPassed ? 0 : 1;
}

int RunSensitivityCommand(const std::vector<std::string>& oArgs, const std::string& sFolder,
                          std::ostream& oOut, std::ostream& oErr, bool bTerminal) {
  if (oArgs.size() < 2 || oArgs.size() > 3 || oArgs[1] != "test") return Usage(oErr);
  CSenseProbe oProbe(sFolder);
  std::string sError;
  if (!oProbe.Load(sError)) {
    oErr << "wardenix: " << sError << "\n";
    return 1;
  }
  return RunSensitivityTest(oArgs, oProbe.GetSettings(), oProbe, oProbe.GetStoredSensitivity(),
                            oOut, oErr, bTerminal);
}

}  // namespace wdx
