// Sample-rate conversion of 16-bit mono PCM (libsamplerate), between the line's 8 kHz and the
// speech engines' rates. ResamplePcm converts a whole buffer; CStreamResampler converts a stream
// in pieces (the recogniser's input), keeping the filter state between them.
//
// Threading: ResamplePcm may be called from any thread; a CStreamResampler is used by one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace wdx {

// Replaces aOut with aIn converted from uFromRate to uToRate; false on a zero rate or a
// converter failure (aOut is then empty). Equal rates copy.
bool ResamplePcm(const std::vector<int16_t>& aIn, uint32_t uFromRate, uint32_t uToRate,
                 std::vector<int16_t>& aOut);

class CStreamResampler final {
 public:
  CStreamResampler(uint32_t uFromRate, uint32_t uToRate);
  ~CStreamResampler();
  CStreamResampler(const CStreamResampler&) = delete;
  CStreamResampler& operator=(const CStreamResampler&) = delete;

  bool IsValid() const { return m_pState != nullptr || m_uFromRate == m_uToRate; }
  // Appends the converted samples of the next piece of the stream to aOut.
  bool Process(const int16_t* pIn, size_t uCount, std::vector<int16_t>& aOut);
  void Reset();

 private:
  struct SState;
  uint32_t m_uFromRate;
  uint32_t m_uToRate;
  std::unique_ptr<SState> m_pState;
};

}  // namespace wdx
