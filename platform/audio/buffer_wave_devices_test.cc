#include "platform/audio/buffer_wave_devices.h"

#include <gtest/gtest.h>

#include <memory>

namespace wdx {
namespace {

TEST(WaveDeviceTableTest, DevicesAreFoundAndQueriedByIdentifierUntilRemoved) {
  const SWaveFormat o16k{WAVE_FORMAT_PCM, 1, 16000, 16};
  const uint32_t uOut = CWaveDeviceTable::AddWaveOut(std::make_shared<CBufferWaveOut>());
  const uint32_t uIn =
      CWaveDeviceTable::AddWaveIn(std::make_shared<CBufferWaveIn>(std::vector<int16_t>{}, o16k));
  EXPECT_NE(uOut, 0u);
  EXPECT_NE(uIn, 0u);
  EXPECT_NE(uOut, uIn);
  EXPECT_EQ(CWaveDeviceTable::AddWaveOut(nullptr), 0u);

  struct SRow {
    bool m_bOut;
    uint32_t m_uId;
    SWaveFormat m_oFormat;
    HRESULT m_hrExpected;
  };
  const SRow aRows[] = {
      {true, uOut, LineWaveFormat(), S_OK},
      {true, uOut, o16k, WAVERR_BADFORMAT},
      {false, uIn, o16k, S_OK},
      {false, uIn, LineWaveFormat(), WAVERR_BADFORMAT},
      {true, uIn, LineWaveFormat(), MMSYSERR_BADDEVICEID},
      {false, uOut, o16k, MMSYSERR_BADDEVICEID},
      {true, 0, LineWaveFormat(), MMSYSERR_BADDEVICEID},
  };
  for (const SRow& oRow : aRows) {
    const HRESULT hr = oRow.m_bOut
                           ? CWaveDeviceTable::WaveOutQueryFormat(oRow.m_uId, oRow.m_oFormat)
                           : CWaveDeviceTable::WaveInQueryFormat(oRow.m_uId, oRow.m_oFormat);
    EXPECT_EQ(hr, oRow.m_hrExpected) << oRow.m_bOut << " " << oRow.m_uId;
  }

  EXPECT_NE(CWaveDeviceTable::FindWaveOut(uOut), nullptr);
  CWaveDeviceTable::RemoveWaveOut(uOut);
  CWaveDeviceTable::RemoveWaveIn(uIn);
  EXPECT_EQ(CWaveDeviceTable::FindWaveOut(uOut), nullptr);
  EXPECT_EQ(CWaveDeviceTable::FindWaveIn(uIn), nullptr);
  EXPECT_EQ(CWaveDeviceTable::WaveInQueryFormat(uIn, o16k), MMSYSERR_BADDEVICEID);
  EXPECT_GT(CWaveDeviceTable::AddWaveOut(std::make_shared<CBufferWaveOut>()), uIn);
}

TEST(BufferWaveDevicesTest, InputPlaysItsRecordingOnceListeningStartsThenSilence) {
  CBufferWaveIn oIn({1, 2, 3, 4, 5});
  std::vector<int16_t> aRead(3, -1);
  EXPECT_EQ(oIn.Read(aRead.data(), 3), 3u);
  EXPECT_EQ(aRead, (std::vector<int16_t>{0, 0, 0}));  // nobody listened yet
  EXPECT_EQ(oIn.GetListeningStarts(), 0);

  oIn.SetListening(true);
  oIn.SetListening(true);  // already listening: not a new start
  EXPECT_EQ(oIn.Read(aRead.data(), 3), 3u);
  EXPECT_EQ(aRead, (std::vector<int16_t>{1, 2, 3}));
  oIn.SetListening(false);
  EXPECT_FALSE(oIn.IsListening());
  oIn.SetListening(true);
  EXPECT_EQ(oIn.GetListeningStarts(), 2);
  EXPECT_EQ(oIn.GetRemaining(), 2u);
  EXPECT_EQ(oIn.Read(aRead.data(), 3), 3u);
  EXPECT_EQ(aRead, (std::vector<int16_t>{4, 5, 0}));
  EXPECT_EQ(oIn.GetRemaining(), 0u);

  oIn.Close();
  EXPECT_EQ(oIn.Read(aRead.data(), 3), 0u);
}

TEST(BufferWaveDevicesTest, OutputKeepsWhatWasWrittenUntilClosed) {
  CBufferWaveOut oOut;
  const int16_t aFirst[] = {7, 8};
  const int16_t aSecond[] = {9};
  EXPECT_TRUE(oOut.Write(aFirst, 2));
  oOut.Purge();
  EXPECT_TRUE(oOut.Write(aSecond, 1));
  EXPECT_TRUE(oOut.Drain(0));
  EXPECT_EQ(oOut.GetSamples(), (std::vector<int16_t>{7, 8, 9}));
  EXPECT_EQ(oOut.GetPurges(), 1);
  oOut.Close();
  EXPECT_FALSE(oOut.Write(aSecond, 1));
  EXPECT_FALSE(oOut.Drain(0));
  EXPECT_EQ(oOut.GetSamples().size(), 3u);
}

}  // namespace
}  // namespace wdx
