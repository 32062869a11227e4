#include "platform/audio/resampler.h"

#include <samplerate.h>

namespace wdx {
namespace {

// Speech needs no studio quality; the fastest sinc converter is clean enough for 8/16/22 kHz.
constexpr int kConverter = SRC_SINC_FASTEST;

double Ratio(uint32_t uFromRate, uint32_t uToRate) {
  return static_cast<double>(uToRate) / static_cast<double>(uFromRate);
}

}  // namespace

bool ResamplePcm(const std::vector<int16_t>& aIn, uint32_t uFromRate, uint32_t uToRate,
                 std::vector<int16_t>& aOut) {
  aOut.clear();
  if (uFromRate == 0 || uToRate == 0) return false;
  if (uFromRate == uToRate || aIn.empty()) {
    aOut = aIn;
    return true;
  }
  CStreamResampler oResampler(uFromRate, uToRate);
  if (!oResampler.IsValid()) return false;
  return oResampler.Process(aIn.data(), aIn.size(), aOut);
}

struct CStreamResampler::SState {
  SRC_STATE* m_pSrc = nullptr;
  std::vector<float> m_aIn;
  std::vector<float> m_aOut;
  ~SState() {
    if (m_pSrc != nullptr) src_delete(m_pSrc);
  }
};

CStreamResampler::CStreamResampler(uint32_t uFromRate, uint32_t uToRate)
    : m_uFromRate(uFromRate), m_uToRate(uToRate) {
  if (uFromRate == 0 || uToRate == 0 || uFromRate == uToRate) return;
  int iError = 0;
  SRC_STATE* pSrc = src_new(kConverter, 1, &iError);
  if (pSrc == nullptr) return;
  m_pState = std::make_unique<SState>();
  m_pState->m_pSrc = pSrc;
}

CStreamResampler::~CStreamResampler() = default;

bool CStreamResampler::Process(const int16_t* pIn, size_t uCount, std::vector<int16_t>& aOut) {
  if (uCount == 0) return true;
  if (m_uFromRate == m_uToRate && m_uFromRate != 0) {
    aOut.insert(aOut.end(), pIn, pIn + uCount);
    return true;
  }
  if (!m_pState) return false;
  SState& oState = *m_pState;
  oState.m_aIn.resize(uCount);
  src_short_to_float_array(pIn, oState.m_aIn.data(), static_cast<int>(uCount));
  const double dRatio = Ratio(m_uFromRate, m_uToRate);
  oState.m_aOut.resize(static_cast<size_t>(static_cast<double>(uCount) * dRatio) + 64);
  SRC_DATA oData{};
  oData.data_in = oState.m_aIn.data();
  oData.input_frames = static_cast<long>(uCount);
  oData.src_ratio = dRatio;
  oData.end_of_input = 0;
  while (oData.input_frames > 0) {
    oData.data_out = oState.m_aOut.data();
    oData.output_frames = static_cast<long>(oState.m_aOut.size());
    if (src_process(oState.m_pSrc, &oData) != 0) return false;
    const size_t uOld = aOut.size();
    aOut.resize(uOld + static_cast<size_t>(oData.output_frames_gen));
    src_float_to_short_array(oState.m_aOut.data(), aOut.data() + uOld,
                             static_cast<int>(oData.output_frames_gen));
    if (oData.input_frames_used == 0 && oData.output_frames_gen == 0) break;
    oData.data_in += oData.input_frames_used;
    oData.input_frames -= oData.input_frames_used;
  }
  return true;
}

void CStreamResampler::Reset() {
  if (m_pState) src_reset(m_pState->m_pSrc);
}

}  // namespace wdx
