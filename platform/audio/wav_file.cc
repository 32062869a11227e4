#include "platform/audio/wav_file.h"

#include <fcntl.h>
#include <sndfile.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/platform_log.h"

namespace wdx {
namespace {

SNDFILE* AsFile(void* pFile) {
  return static_cast<SNDFILE*>(pFile);
}

void LogFileError(const char* szWhat, const std::string& sPath, const char* szReason) {
  const std::string sText = std::string("WAV file ") + sPath + " " + szWhat + ": " + szReason;
  PlatformLogError(sText.c_str());
}

// Claims sPath as a new file: false when it exists or cannot be created.
bool ClaimNewFile(const std::string& sPath) {
  const int iFd = ::open(sPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (iFd < 0) {
    LogFileError("cannot be created", sPath, std::strerror(errno));
    return false;
  }
  ::close(iFd);
  return true;
}

}  // namespace

CWavWriter::~CWavWriter() {
  Close();
}

bool CWavWriter::Create(const std::string& sPath, uint32_t uRate, bool bNewFile) {
  Close();
  m_sPath = sPath;
  m_uSamples = 0;
  if (uRate == 0 || uRate > 1000000) {
    LogFileError("cannot be created", sPath, "bad sample rate");
    return false;
  }
  if (bNewFile && !ClaimNewFile(sPath)) return false;
  SF_INFO oInfo{};
  oInfo.samplerate = static_cast<int>(uRate);
  oInfo.channels = 1;
  oInfo.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* pFile = sf_open(sPath.c_str(), SFM_WRITE, &oInfo);
  if (pFile == nullptr) {
    LogFileError("cannot be created", sPath, sf_strerror(nullptr));
    if (bNewFile) ::unlink(sPath.c_str());
    return false;
  }
  sf_command(pFile, SFC_SET_UPDATE_HEADER_AUTO, nullptr, SF_TRUE);
  m_pFile = pFile;
  return true;
}

bool CWavWriter::Append(const int16_t* pSamples, size_t uCount) {
  if (m_pFile == nullptr) return false;
  if (uCount == 0) return true;
  if (pSamples == nullptr) return false;
  const sf_count_t iWritten =
      sf_write_short(AsFile(m_pFile), pSamples, static_cast<sf_count_t>(uCount));
  if (iWritten > 0) m_uSamples += static_cast<uint64_t>(iWritten);
  if (iWritten != static_cast<sf_count_t>(uCount)) {
    LogFileError("cannot be written", m_sPath, sf_strerror(AsFile(m_pFile)));
    return false;
  }
  return true;
}

bool CWavWriter::Close() {
  if (m_pFile == nullptr) return true;
  const int iResult = sf_close(AsFile(m_pFile));
  m_pFile = nullptr;
  if (iResult != 0) {
    LogFileError("cannot be completed", m_sPath, sf_error_number(iResult));
    return false;
  }
  return true;
}

bool ReadWavFile(const std::string& sPath, std::vector<int16_t>& aSamples, uint32_t& uRate) {
  aSamples.clear();
  uRate = 0;
  SF_INFO oInfo{};
  SNDFILE* pFile = sf_open(sPath.c_str(), SFM_READ, &oInfo);
  if (pFile == nullptr) {
    LogFileError("cannot be read", sPath, sf_strerror(nullptr));
    return false;
  }
  const int iChannels = oInfo.channels;
  if (iChannels <= 0 || oInfo.samplerate <= 0) {
    sf_close(pFile);
    LogFileError("cannot be read", sPath, "no channels or no sample rate");
    return false;
  }
  constexpr sf_count_t kFramesPerPiece = 4096;
  std::vector<int16_t> aPiece(static_cast<size_t>(kFramesPerPiece * iChannels));
  sf_count_t iFrames = 0;
  while ((iFrames = sf_readf_short(pFile, aPiece.data(), kFramesPerPiece)) > 0) {
    for (sf_count_t iFrame = 0; iFrame < iFrames; ++iFrame) {
      int32_t iSum = 0;
      for (int iChannel = 0; iChannel < iChannels; ++iChannel) {
        iSum += aPiece[static_cast<size_t>(iFrame * iChannels + iChannel)];
      }
      aSamples.push_back(static_cast<int16_t>(iSum / iChannels));
    }
  }
  const int iError = sf_error(pFile);
  sf_close(pFile);
  if (iError != SF_ERR_NO_ERROR) {
    aSamples.clear();
    LogFileError("cannot be read", sPath, sf_error_number(iError));
    return false;
  }
  uRate = static_cast<uint32_t>(oInfo.samplerate);
  return true;
}

}  // namespace wdx
