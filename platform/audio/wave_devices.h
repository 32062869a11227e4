// The wave devices of calls. A call that carries audio registers one output device (what is
// played into the line, heard by the far end) and one input device (what comes out of the line,
// said by the far end) under numeric identifiers, as a sound card numbers its wave devices; the
// speech layer's audio objects bind to them by identifier (see platform/speech/speech.h). The
// format query answers as the familiar wave query does: S_OK for a format the device takes,
// WAVERR_BADFORMAT otherwise, MMSYSERR_BADDEVICEID for an unknown identifier.
//
// Samples are 16-bit, interleaved when there is more than one channel, at the format the device
// was asked to take. A live line plays and records in real time; the simulated line plays and
// records at once (its far end is a script), so time on a line is counted in samples, not on
// the wall clock.
//
// Threading: the table is process-wide and locked; each device is used by one writer (or one
// reader) thread at a time and may be closed by the line from another thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/audio/wave_format.h"
#include "platform/component.h"

namespace wdx {

inline constexpr HRESULT MMSYSERR_BADDEVICEID = static_cast<HRESULT>(0x80040002u);
inline constexpr HRESULT WAVERR_BADFORMAT = static_cast<HRESULT>(0x80040020u);

class IWaveOutDevice {
 public:
  virtual ~IWaveOutDevice() = default;
  virtual bool SupportsFormat(const SWaveFormat& oFormat) const = 0;
  // Plays uCount samples into the line; a live line blocks while its buffer is full. False
  // once the line is gone (hung up by either side).
  virtual bool Write(const int16_t* pSamples, size_t uCount) = 0;
  // Waits up to iTimeoutMs until everything written has been played; true when it has.
  virtual bool Drain(int iTimeoutMs) = 0;
  // Drops what is queued and not yet played.
  virtual void Purge() = 0;
};

class IWaveInDevice {
 public:
  virtual ~IWaveInDevice() = default;
  virtual bool SupportsFormat(const SWaveFormat& oFormat) const = 0;
  // Starts or stops taking audio from the line; what the far end says while nobody listens is
  // lost. A scripted far end takes the start of listening as its turn to speak.
  virtual void SetListening(bool bListening) = 0;
  // Reads uCount samples: the far end's speech, silence while it is quiet (a live line waits for
  // them at the line's pace). Fewer than uCount only when the line is gone.
  virtual size_t Read(int16_t* pSamples, size_t uCount) = 0;
};

class CWaveDeviceTable final {
 public:
  // Identifiers start at 1 and are never reused in a process; 0 is never a device.
  static uint32_t AddWaveOut(std::shared_ptr<IWaveOutDevice> pDevice);
  static uint32_t AddWaveIn(std::shared_ptr<IWaveInDevice> pDevice);
  static void RemoveWaveOut(uint32_t uId);
  static void RemoveWaveIn(uint32_t uId);

  static HRESULT WaveOutQueryFormat(uint32_t uId, const SWaveFormat& oFormat);
  static HRESULT WaveInQueryFormat(uint32_t uId, const SWaveFormat& oFormat);
  // Null for an unknown (or removed) identifier.
  static std::shared_ptr<IWaveOutDevice> FindWaveOut(uint32_t uId);
  static std::shared_ptr<IWaveInDevice> FindWaveIn(uint32_t uId);
};

}  // namespace wdx
