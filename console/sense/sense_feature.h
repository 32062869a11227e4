// CSenseFeature: the sensitivity test of the web console ("Sensitivity Test and Set"):
//
//   GET  /api/sense               {sensitivity, warning, busy, sampling, elapsed, total,
//                                  picture, failedItem, testedSensitivity}
//   POST /api/sense/test {sensitivity}   starts a test: {started: true}, or {started: false,
//                                  message} when the settings refuse it (the page shows the
//                                  message); 409 while a test runs
//   POST /api/sense/save {sensitivity}   stores "Sensitivity" in AutoSet.caf: {saved: true}
//
// "sensitivity" is the stored value as the slider shows it (empty reads as 10); picture is one
// of "none", "computing", "pass", "fail". The tests run one at a time on the runner's thread.
//
// Threading: handlers run on the server's threads; the runner guards the test's state.
#pragma once

#include <memory>
#include <string>

#include "console/sense/sense_runner.h"
#include "console/web/console_api.h"

namespace wdx {

class CSenseFeature final : public IConsoleFeature {
 public:
  // fnMakeProbe: the test's pieces (empty: the real ones of the program folder).
  explicit CSenseFeature(const SConsoleContext& oContext, FnMakeSenseProbe fnMakeProbe = {});
  ~CSenseFeature() override;
  CSenseFeature(const CSenseFeature&) = delete;
  CSenseFeature& operator=(const CSenseFeature&) = delete;

  void RegisterApi(IApiRegistry& oRegistry) override;
  void Shutdown() override;

  // The real pieces of a program folder, with its settings as they are on disk now.
  static SSenseProbeLoad MakeProbe(const std::string& sProgramFolder);

 private:
  SApiReply GetState(const SApiRequest& oRequest);
  SApiReply PostTest(const SApiRequest& oRequest);
  SApiReply PostSave(const SApiRequest& oRequest);
  // The body's "sensitivity" (a whole number 0..100); false when it is missing or bad.
  static bool ReadSensitivity(const SApiRequest& oRequest, int& iSensitivity);

  std::string m_sFolder;
  CSenseRunner m_oRunner;
};

}  // namespace wdx
