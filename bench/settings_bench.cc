// Load and save of a 5,000-line AutoSet.caf through CRamFileRO (each line up to 255 chars).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "foundation/ram_file.h"

#include "tests/support/temp_folder.h"

namespace {

constexpr int kLines = 5000;

class CBenchFolder final : public wdx::test::CTempFolder {
 public:
  CBenchFolder() { UseForLocks(); }
};

// Writes the 5,000-line file: keys of various lengths, then list sections.
bool MakeSettings(const std::string& sFolder) {
  std::vector<std::string> oLines = {"[KEYS]"};
  for (int i = 0; i < kLines - 2; ++i) {
    if (i == kLines / 2) oLines.push_back("[URLS]");
    oLines.push_back(
        "Key" + std::to_string(i) + "=" +
        std::string(static_cast<size_t>(10 + i % 200), static_cast<char>('a' + i % 26)));
  }
  wdx::CRamFile oFile;
  oFile.Initialize(sFolder.c_str(), "AutoSet.caf");
  return oFile.LoadToRamFromListBox(oLines) && oFile.SaveToFile();
}

void BM_SettingsLoad(benchmark::State& oState) {
  CBenchFolder oFolder;
  if (!MakeSettings(oFolder.Path())) oState.SkipWithError("cannot write the settings");
  for (auto _ : oState) {
    wdx::CRamFileRO oFile;
    if (!oFile.Initialize(oFolder.Path().c_str(), "AutoSet.caf")) oState.SkipWithError("load");
    benchmark::DoNotOptimize(oFile.GetLineCount());
  }
}
BENCHMARK(BM_SettingsLoad)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SettingsSave(benchmark::State& oState) {
  CBenchFolder oFolder;
  if (!MakeSettings(oFolder.Path())) oState.SkipWithError("cannot write the settings");
  wdx::CRamFileRO oFile;
  if (!oFile.Initialize(oFolder.Path().c_str(), "AutoSet.caf")) oState.SkipWithError("load");
  for (auto _ : oState) {
    oFile.SetKeyValue("Key7", "changed");
    if (!oFile.SaveToFile()) oState.SkipWithError("save");
  }
}
BENCHMARK(BM_SettingsSave)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
