// Audio formats as the speech and telephony layers describe them: a wave format (tag, channels,
// rate, bits per sample) and the numbered stream formats of the speech layer (index 4 is
// 8 kHz 8-bit mono ... 39 is 48 kHz 16-bit stereo; 40 TrueSpeech; 41-48 A-law; 49-56 mu-law;
// 57-64 ADPCM; 65-68 GSM 6.10), which a caller walks in order to find one that a device takes.
//
// Threading: plain values and pure functions.
#pragma once

#include <cstdint>

namespace wdx {

inline constexpr uint16_t WAVE_FORMAT_PCM = 1;
inline constexpr uint16_t WAVE_FORMAT_ADPCM = 2;
inline constexpr uint16_t WAVE_FORMAT_ALAW = 6;
inline constexpr uint16_t WAVE_FORMAT_MULAW = 7;
inline constexpr uint16_t WAVE_FORMAT_DSPGROUP_TRUESPEECH = 0x22;
inline constexpr uint16_t WAVE_FORMAT_GSM610 = 0x31;

struct SWaveFormat {
  uint16_t m_uFormatTag = WAVE_FORMAT_PCM;
  uint16_t m_uChannels = 1;
  uint32_t m_uSamplesPerSec = 8000;
  uint16_t m_uBitsPerSample = 16;

  bool operator==(const SWaveFormat&) const = default;
};

inline constexpr int SPSF_FIRST_INDEX = 4;
inline constexpr int SPSF_LAST_INDEX = 68;
inline constexpr int SPSF_8kHz8BitMono = 4;
inline constexpr int SPSF_8kHz16BitMono = 6;
inline constexpr int SPSF_16kHz16BitMono = 18;
inline constexpr int SPSF_22kHz16BitMono = 22;

// The wave format of stream format iIndex; false outside 4..68.
bool StreamFormatToWaveFormat(int iIndex, SWaveFormat& oFormat);

// The line's own format: 8 kHz, 16-bit, mono PCM.
inline SWaveFormat LineWaveFormat() {
  return SWaveFormat{};
}

}  // namespace wdx
