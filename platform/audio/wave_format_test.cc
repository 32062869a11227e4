#include "platform/audio/wave_format.h"

#include <gtest/gtest.h>

namespace wdx {
namespace {

TEST(WaveFormatTest, StreamFormatIndexesMapToTheirWaveFormats) {
  struct SRow {
    int m_iIndex;
    uint16_t m_uTag;
    uint16_t m_uChannels;
    uint32_t m_uRate;
    uint16_t m_uBits;
  };
  const SRow aRows[] = {
      {4, WAVE_FORMAT_PCM, 1, 8000, 8},     {5, WAVE_FORMAT_PCM, 2, 8000, 8},
      {6, WAVE_FORMAT_PCM, 1, 8000, 16},    {18, WAVE_FORMAT_PCM, 1, 16000, 16},
      {22, WAVE_FORMAT_PCM, 1, 22050, 16},  {39, WAVE_FORMAT_PCM, 2, 48000, 16},
      {40, WAVE_FORMAT_DSPGROUP_TRUESPEECH, 1, 8000, 1},
      {41, WAVE_FORMAT_ALAW, 1, 8000, 8},   {48, WAVE_FORMAT_ALAW, 2, 44100, 8},
      {49, WAVE_FORMAT_MULAW, 1, 8000, 8},  {57, WAVE_FORMAT_ADPCM, 1, 8000, 4},
      {65, WAVE_FORMAT_GSM610, 1, 8000, 0}, {68, WAVE_FORMAT_GSM610, 1, 44100, 0},
  };
  for (const SRow& oRow : aRows) {
    SWaveFormat oFormat;
    ASSERT_TRUE(StreamFormatToWaveFormat(oRow.m_iIndex, oFormat)) << oRow.m_iIndex;
    EXPECT_EQ(oFormat.m_uFormatTag, oRow.m_uTag) << oRow.m_iIndex;
    EXPECT_EQ(oFormat.m_uChannels, oRow.m_uChannels) << oRow.m_iIndex;
    EXPECT_EQ(oFormat.m_uSamplesPerSec, oRow.m_uRate) << oRow.m_iIndex;
    EXPECT_EQ(oFormat.m_uBitsPerSample, oRow.m_uBits) << oRow.m_iIndex;
  }
  SWaveFormat oFormat;
  EXPECT_FALSE(StreamFormatToWaveFormat(3, oFormat));
  EXPECT_FALSE(StreamFormatToWaveFormat(69, oFormat));
  EXPECT_TRUE(StreamFormatToWaveFormat(SPSF_8kHz16BitMono, oFormat));
  EXPECT_EQ(oFormat, LineWaveFormat());
}

}  // namespace
}  // namespace wdx
