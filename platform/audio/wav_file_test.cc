#include "platform/audio/wav_file.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include "tests/support/temp_folder.h"

namespace wdx {
namespace {

class WavFileTest : public ::testing::Test {
 protected:
  test::CTempFolder m_oFolder;
};

TEST_F(WavFileTest, WhatIsAppendedIsReadBackExactly) {
  struct SCase {
    const char* m_szName;
    uint32_t m_uRate;
    std::vector<std::vector<int16_t>> m_aPieces;
  };
  std::vector<int16_t> aRamp(10000);
  for (size_t u = 0; u < aRamp.size(); ++u) aRamp[u] = static_cast<int16_t>(u * 37 - 20000);
  const SCase aCases[] = {
      {"empty.wav", 8000, {}},
      {"extremes.wav", 8000, {{0, 32767, -32768, 1, -1}}},
      {"pieces.wav", 16000, {{5, 6}, {}, aRamp, {7}}},
  };
  for (const SCase& oCase : aCases) {
    const std::string sPath = m_oFolder.File(oCase.m_szName);
    std::vector<int16_t> aExpected;
    {
      CWavWriter oWriter;
      ASSERT_TRUE(oWriter.Create(sPath, oCase.m_uRate, true)) << oCase.m_szName;
      for (const auto& aPiece : oCase.m_aPieces) {
        ASSERT_TRUE(oWriter.Append(aPiece.data(), aPiece.size())) << oCase.m_szName;
        aExpected.insert(aExpected.end(), aPiece.begin(), aPiece.end());
      }
      EXPECT_EQ(oWriter.GetSampleCount(), aExpected.size()) << oCase.m_szName;
    }  // the destructor completes the file
    std::vector<int16_t> aRead{99};
    uint32_t uRate = 0;
    ASSERT_TRUE(ReadWavFile(sPath, aRead, uRate)) << oCase.m_szName;
    EXPECT_EQ(uRate, oCase.m_uRate) << oCase.m_szName;
    EXPECT_EQ(aRead, aExpected) << oCase.m_szName;
  }
}

TEST_F(WavFileTest, AGrowingRecordingIsReadableBeforeItIsClosed) {
  CWavWriter oWriter;
  ASSERT_TRUE(oWriter.Create(m_oFolder.File("live.wav"), 8000, true));
  const std::vector<int16_t> aPiece(800, 1234);
  ASSERT_TRUE(oWriter.Append(aPiece.data(), aPiece.size()));
  std::vector<int16_t> aRead;
  uint32_t uRate = 0;
  ASSERT_TRUE(ReadWavFile(m_oFolder.File("live.wav"), aRead, uRate));
  EXPECT_EQ(aRead, aPiece);
}

TEST_F(WavFileTest, StereoIsAveragedToMono) {
  SF_INFO oInfo{};
  oInfo.samplerate = 22050;
  oInfo.channels = 2;
  oInfo.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* pFile = sf_open(m_oFolder.File("stereo.wav").c_str(), SFM_WRITE, &oInfo);
  ASSERT_NE(pFile, nullptr);
  const int16_t aFrames[] = {100, 300, -32768, -32768, 32767, 32767, 10, -20};
  ASSERT_EQ(sf_writef_short(pFile, aFrames, 4), 4);
  sf_close(pFile);
  std::vector<int16_t> aRead;
  uint32_t uRate = 0;
  ASSERT_TRUE(ReadWavFile(m_oFolder.File("stereo.wav"), aRead, uRate));
  EXPECT_EQ(uRate, 22050u);
  EXPECT_EQ(aRead, (std::vector<int16_t>{200, -32768, 32767, -5}));
}

TEST_F(WavFileTest, BadFilesAndMisuseFailWithoutHarm) {
  m_oFolder.Write("text.wav", "this is not a sound file at all");
  std::vector<int16_t> aRead{1, 2};
  uint32_t uRate = 7;
  for (const std::string& sPath : {m_oFolder.File("missing.wav"), m_oFolder.File("text.wav")}) {
    EXPECT_FALSE(ReadWavFile(sPath, aRead, uRate)) << sPath;
    EXPECT_TRUE(aRead.empty()) << sPath;
    EXPECT_EQ(uRate, 0u) << sPath;
  }
  CWavWriter oWriter;
  const int16_t aOne[] = {1};
  EXPECT_FALSE(oWriter.Append(aOne, 1));  // nothing open
  // A new file never replaces one that exists; without the flag it does.
  EXPECT_FALSE(oWriter.Create(m_oFolder.File("text.wav"), 8000, true));
  EXPECT_EQ(m_oFolder.Read("text.wav"), "this is not a sound file at all");
  EXPECT_FALSE(oWriter.Create(m_oFolder.File("no/such/folder.wav"), 8000, false));
  EXPECT_FALSE(oWriter.Create(m_oFolder.File("zero.wav"), 0, true));
  ASSERT_TRUE(oWriter.Create(m_oFolder.File("text.wav"), 8000, false));
  EXPECT_TRUE(oWriter.Append(aOne, 1));
  EXPECT_TRUE(oWriter.Close());
  EXPECT_FALSE(oWriter.Append(aOne, 1));
  EXPECT_TRUE(ReadWavFile(m_oFolder.File("text.wav"), aRead, uRate));
  EXPECT_EQ(aRead, std::vector<int16_t>{1});
}

}  // namespace
}  // namespace wdx
