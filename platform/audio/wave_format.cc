#include "platform/audio/wave_format.h"

namespace wdx {
namespace {

constexpr uint32_t kPcmRates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};
// The compressed families come in 8, 11, 22 and 44 kHz.
constexpr uint32_t kCodecRates[] = {8000, 11025, 22050, 44100};

SWaveFormat Make(uint16_t uTag, uint16_t uChannels, uint32_t uRate, uint16_t uBits) {
  SWaveFormat oFormat;
  oFormat.m_uFormatTag = uTag;
  oFormat.m_uChannels = uChannels;
  oFormat.m_uSamplesPerSec = uRate;
  oFormat.m_uBitsPerSample = uBits;
  return oFormat;
}

}  // namespace

bool StreamFormatToWaveFormat(int iIndex, SWaveFormat& oFormat) {
  if (iIndex < SPSF_FIRST_INDEX || iIndex > SPSF_LAST_INDEX) return false;
  if (iIndex <= 39) {  // PCM: four shapes per rate
    const int iOffset = iIndex - SPSF_FIRST_INDEX;
    const int iShape = iOffset % 4;
    oFormat = Make(WAVE_FORMAT_PCM, static_cast<uint16_t>(iShape % 2 + 1), kPcmRates[iOffset / 4],
                   static_cast<uint16_t>(iShape < 2 ? 8 : 16));
    return true;
  }
  if (iIndex == 40) {
    oFormat = Make(WAVE_FORMAT_DSPGROUP_TRUESPEECH, 1, 8000, 1);
    return true;
  }
  if (iIndex <= 64) {  // A-law, mu-law, ADPCM: mono and stereo per rate
    const int iOffset = (iIndex - 41) % 8;
    const int iFamily = (iIndex - 41) / 8;
    const uint16_t uTag =
        iFamily == 0 ? WAVE_FORMAT_ALAW : (iFamily == 1 ? WAVE_FORMAT_MULAW : WAVE_FORMAT_ADPCM);
    oFormat = Make(uTag, static_cast<uint16_t>(iOffset % 2 + 1), kCodecRates[iOffset / 2],
                   static_cast<uint16_t>(iFamily == 2 ? 4 : 8));
    return true;
  }
  oFormat = Make(WAVE_FORMAT_GSM610, 1, kCodecRates[iIndex - 65], 0);
  return true;
}

}  // namespace wdx
