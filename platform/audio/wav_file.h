// WAV files of 16-bit PCM (libsndfile): CWavWriter writes a mono recording piece by piece, as a
// call is heard; ReadWavFile reads a whole file back as mono samples. The writer keeps the
// file's header current after every piece, so a recording can be played while it grows and
// stays readable if the process ends without closing it.
//
// Threading: a CWavWriter is used by one thread at a time; ReadWavFile may be called from any
// thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace wdx {

class CWavWriter final {
 public:
  CWavWriter() = default;
  ~CWavWriter();
  CWavWriter(const CWavWriter&) = delete;
  CWavWriter& operator=(const CWavWriter&) = delete;

  // Creates sPath as a 16-bit mono PCM WAV file at uRate samples per second (closing what was
  // open). bNewFile: fails when sPath already exists instead of replacing it. False, with an
  // error in the platform log, when the file cannot be created.
  bool Create(const std::string& sPath, uint32_t uRate, bool bNewFile);
  // Appends uCount samples; false when no file is open or the write fails.
  bool Append(const int16_t* pSamples, size_t uCount);
  // Completes the file; harmless when none is open. False when completing it failed.
  bool Close();

  bool IsOpen() const { return m_pFile != nullptr; }
  const std::string& GetPath() const { return m_sPath; }
  // Samples appended since Create.
  uint64_t GetSampleCount() const { return m_uSamples; }

 private:
  void* m_pFile = nullptr;  // SNDFILE*
  std::string m_sPath;
  uint64_t m_uSamples = 0;
};

// Reads the WAV (or any libsndfile) file sPath into aSamples as 16-bit mono (the channels of a
// multi-channel file are averaged) and its rate into uRate. False, with an error in the platform
// log, when the file cannot be read; aSamples is then empty.
bool ReadWavFile(const std::string& sPath, std::vector<int16_t>& aSamples, uint32_t& uRate);

}  // namespace wdx
