#include <gtest/gtest.h>

#include <memory>

#include "platform/audio/buffer_wave_devices.h"
#include "platform/speech/speech.h"

namespace wdx {
namespace {

constexpr SWaveFormat k16k{WAVE_FORMAT_PCM, 1, 16000, 16};

TEST(SpeechAudioTest, AudioObjectsBindToTableDevicesAndTakeOnlyTheirFormats) {
  auto pOutDevice = std::make_shared<CBufferWaveOut>();
  auto pInDevice = std::make_shared<CBufferWaveIn>(std::vector<int16_t>{}, k16k);
  const uint32_t uOut = CWaveDeviceTable::AddWaveOut(pOutDevice);
  const uint32_t uIn = CWaveDeviceTable::AddWaveIn(pInDevice);
  std::shared_ptr<CSpAudioOut> pOut = CreateSpMMAudioOut();
  std::shared_ptr<CSpAudioIn> pIn = CreateSpMMAudioIn();

  // Nothing bound yet.
  EXPECT_EQ(pOut->SetFormat(LineWaveFormat()), SPERR_UNINITIALIZED);
  EXPECT_EQ(pIn->SetState(SPAS_RUN), SPERR_UNINITIALIZED);
  EXPECT_FALSE(pOut->Write({1}));
  // Outputs and inputs have identifiers of their own kind.
  EXPECT_EQ(pOut->SetDeviceId(uIn), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(pIn->SetDeviceId(uOut), MMSYSERR_BADDEVICEID);
  ASSERT_EQ(pOut->SetDeviceId(uOut), S_OK);
  ASSERT_EQ(pIn->SetDeviceId(uIn), S_OK);

  EXPECT_EQ(pOut->SetFormat(k16k), SPERR_UNSUPPORTED_FORMAT);
  EXPECT_EQ(pOut->SetFormat(LineWaveFormat()), S_OK);
  EXPECT_EQ(pIn->SetFormat(LineWaveFormat()), SPERR_UNSUPPORTED_FORMAT);
  EXPECT_EQ(pIn->SetFormat(k16k), S_OK);
  EXPECT_EQ(pIn->GetFormat(), k16k);

  EXPECT_TRUE(pOut->Write({4, 5}));
  EXPECT_EQ(pOutDevice->GetSamples(), (std::vector<int16_t>{4, 5}));
  EXPECT_EQ(pOut->SetState(SPAS_STOP), S_OK);
  EXPECT_EQ(pOutDevice->GetPurges(), 1);
  EXPECT_EQ(pOut->SetState(7), E_INVALIDARG);

  EXPECT_EQ(pIn->SetState(SPAS_RUN), S_OK);
  EXPECT_TRUE(pInDevice->IsListening());
  EXPECT_EQ(pIn->SetState(SPAS_CLOSED), S_OK);
  EXPECT_FALSE(pInDevice->IsListening());
  EXPECT_EQ(pInDevice->GetListeningStarts(), 1);

  // The line goes away under the objects.
  pOutDevice->Close();
  pInDevice->Close();
  EXPECT_FALSE(pOut->Write({6}));
  int16_t aRead[4];
  EXPECT_EQ(pIn->Read(aRead, 4), 0u);
  CWaveDeviceTable::RemoveWaveOut(uOut);
  CWaveDeviceTable::RemoveWaveIn(uIn);
}

}  // namespace
}  // namespace wdx
