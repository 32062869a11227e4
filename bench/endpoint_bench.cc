// Round trip of one short request line on a persistent connection to an in-process command
// server with a trivial handler. Reports the median and 99th percentile in microseconds.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/command_endpoint.h"
#include "tests/support/temp_folder.h"

namespace {

class CTrivialHandler final : public wdx::ICommandHandler {
 public:
  std::string HandleLine(const std::string& sLine) override {
    return sLine == "OpsCommand 1004" ? "1001" : "0";
  }
  std::string OverflowAnswer() override { return "-2"; }
};

double Percentile(std::vector<double>& oSorted, double dFraction) {
  size_t iIndex = static_cast<size_t>(dFraction * static_cast<double>(oSorted.size() - 1));
  return oSorted[iIndex];
}

void BM_CommandRoundTrip(benchmark::State& oState) {
  wdx::test::CTempFolder oFolder;
  CTrivialHandler oHandler;
  auto pServer = wdx::CreateCommandServer();
  auto pClient = wdx::CreateCommandClient();
  const std::string sPath = oFolder.File("bench.sock");
  if (!pServer->Start(sPath, &oHandler) || !pClient->Connect(sPath)) {
    oState.SkipWithError("cannot start the server or connect");
    return;
  }
  const std::string sRequest = "OpsCommand 1004";
  std::string sAnswer;
  sAnswer.reserve(64);
  for (int i = 0; i < 1000; ++i) pClient->Call(sRequest, sAnswer, 1000);  // warm-up
  std::vector<double> oMicros;
  oMicros.reserve(static_cast<size_t>(oState.max_iterations));
  for (auto _ : oState) {
    auto oStart = std::chrono::steady_clock::now();
    bool bOk = pClient->Call(sRequest, sAnswer, 1000);
    auto oEnd = std::chrono::steady_clock::now();
    if (!bOk || sAnswer != "1001") {
      oState.SkipWithError("call failed");
      break;
    }
    oMicros.push_back(std::chrono::duration<double, std::micro>(oEnd - oStart).count());
  }
  pServer->Stop();
  if (oMicros.empty()) return;
  std::sort(oMicros.begin(), oMicros.end());
  oState.counters["p50_us"] = Percentile(oMicros, 0.50);
  oState.counters["p99_us"] = Percentile(oMicros, 0.99);
  oState.counters["max_us"] = oMicros.back();
}
BENCHMARK(BM_CommandRoundTrip)->Iterations(200000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
