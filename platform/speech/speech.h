// The speech layer: what the phone component needs of a speech engine, after the familiar
// speech interfaces (a voice that speaks text into an audio output; an in-process recogniser
// with a recognition context, a command grammar and events), built on espeak-ng (synthesis)
// and pocketsphinx (recognition), with audio resampled between the line's rate and the
// engines' rates. Results are HRESULTs: S_OK, S_FALSE (a wait that timed out) or a failure.
//
// Audio: CSpAudioOut and CSpAudioIn bind to a call's wave devices by identifier
// (platform/audio/wave_devices.h). A voice without an output speaks into nothing (that is how
// the start-up voice proves that synthesis works). A recogniser listens to its input only while
// a grammar rule is active: activating a grammar starts listening (SetListening(true) on the
// device), deactivating it stops listening and drops what was heard.
//
// Time in recognition is the audio heard: WaitForNotifyEvent(3000) returns S_FALSE after 3000 ms
// of the line's audio without an event. On a live line that is wall-clock time; on the simulated
// line, which delivers its audio at once, it takes only the recogniser's CPU time.
//
// Events: SPEI_PHRASE_START when the far end begins to speak, then SPEI_RECOGNITION (its words,
// as the grammar spells them, separated by single spaces) or SPEI_FALSE_RECOGNITION (speech that
// matched nothing) when it stops.
//
// Engines are found from the Debian packages: espeak-ng's data where the library looks for it;
// the acoustic model in /usr/share/pocketsphinx/model/en-us/en-us and its dictionary
// cmudict-en-us.dict beside it. WDX_SPEECH_MODEL names another model folder (holding "en-us/"
// and "cmudict-en-us.dict"); a missing model makes CreateSpInprocRecognizer fail.
//
// Threading: espeak-ng is one engine per process; the voices share it under a process-wide
// lock. Each voice, recogniser, context and grammar is used by one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/audio/wave_format.h"
#include "platform/component.h"

namespace wdx {

inline constexpr HRESULT SPERR_UNINITIALIZED = static_cast<HRESULT>(0x80045001u);
inline constexpr HRESULT SPERR_UNSUPPORTED_FORMAT = static_cast<HRESULT>(0x80045003u);
inline constexpr HRESULT SPERR_DEVICE_NOT_SUPPORTED = static_cast<HRESULT>(0x80045007u);
inline constexpr HRESULT SPERR_NOT_FOUND = static_cast<HRESULT>(0x8004503Au);
inline constexpr HRESULT SPERR_AUDIO_STOPPED = static_cast<HRESULT>(0x80045010u);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
inline constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);

// Speak flags.
inline constexpr uint32_t SPF_DEFAULT = 0;
inline constexpr uint32_t SPF_ASYNC = 1;
inline constexpr uint32_t SPF_PURGEBEFORESPEAK = 2;

// Audio object states.
inline constexpr int SPAS_CLOSED = 0;
inline constexpr int SPAS_STOP = 1;
inline constexpr int SPAS_PAUSE = 2;
inline constexpr int SPAS_RUN = 3;

// Event identifiers and their interest bits (1 << id).
inline constexpr int SPEI_PHRASE_START = 37;
inline constexpr int SPEI_RECOGNITION = 38;
inline constexpr int SPEI_FALSE_RECOGNITION = 43;
inline constexpr uint64_t SpeechEventBit(int iEventId) {
  return uint64_t{1} << iEventId;
}

inline constexpr int SPLO_STATIC = 0;

// One audio object bound to a wave device of a call.
class CSpAudioOut;
class CSpAudioIn;
std::shared_ptr<CSpAudioOut> CreateSpMMAudioOut();
std::shared_ptr<CSpAudioIn> CreateSpMMAudioIn();

class CSpAudioOut {
 public:
  virtual ~CSpAudioOut() = default;
  // MMSYSERR_BADDEVICEID for an identifier that names no output device.
  virtual HRESULT SetDeviceId(uint32_t uDeviceId) = 0;
  // SPERR_UNSUPPORTED_FORMAT when the device does not take the format.
  virtual HRESULT SetFormat(const SWaveFormat& oFormat) = 0;
  virtual HRESULT SetState(int iState) = 0;
  virtual const SWaveFormat& GetFormat() const = 0;
  // Plays 16-bit mono samples at the format's rate (the voice has converted them); false when
  // the device is gone or the object is not bound.
  virtual bool Write(const std::vector<int16_t>& aSamples) = 0;
  virtual bool Drain(int iTimeoutMs) = 0;
  virtual void Purge() = 0;
};

class CSpAudioIn {
 public:
  virtual ~CSpAudioIn() = default;
  virtual HRESULT SetDeviceId(uint32_t uDeviceId) = 0;
  virtual HRESULT SetFormat(const SWaveFormat& oFormat) = 0;
  // SPAS_RUN starts listening on the device, SPAS_STOP and SPAS_CLOSED stop it.
  virtual HRESULT SetState(int iState) = 0;
  virtual const SWaveFormat& GetFormat() const = 0;
  // Reads uCount samples at the format's rate; fewer when the device is gone.
  virtual size_t Read(int16_t* pSamples, size_t uCount) = 0;
};

class ISpVoice {
 public:
  virtual ~ISpVoice() = default;
  // Null: speech goes nowhere (still synthesised).
  virtual HRESULT SetOutput(std::shared_ptr<CSpAudioOut> pOutput) = 0;
  // Flags: SPF_ASYNC returns at once (the text is queued); SPF_PURGEBEFORESPEAK first drops what
  // is queued and not yet played. An empty text with SPF_PURGEBEFORESPEAK only purges.
  virtual HRESULT Speak(const std::string& sText, uint32_t uFlags) = 0;
  // S_OK when everything spoken has been played, S_FALSE after uMilliseconds.
  virtual HRESULT WaitUntilDone(uint32_t uMilliseconds) = 0;
};

struct SSpEvent {
  int m_iEventId = 0;
  std::string m_sText;  // the recognised phrase, for SPEI_RECOGNITION
};

class ISpRecoGrammar {
 public:
  virtual ~ISpRecoGrammar() = default;
  // Loads a JSGF grammar file. Failure: SPERR_NOT_FOUND (no file) or E_FAIL (a bad grammar or a
  // word the dictionary lacks).
  virtual HRESULT LoadCmdFromFile(const std::string& sPath, int iOptions) = 0;
  // Active: listening starts; inactive: it stops and what was heard is dropped.
  virtual HRESULT SetRuleState(bool bActive) = 0;
};

class ISpRecoContext {
 public:
  virtual ~ISpRecoContext() = default;
  virtual HRESULT SetInterest(uint64_t uNotifyEvents, uint64_t uQueuedEvents) = 0;
  virtual HRESULT SetAudioOptions(bool bRetainAudio) = 0;
  // One grammar per context; its identifier is kept for messages.
  virtual HRESULT CreateGrammar(uint64_t uGrammarId, std::shared_ptr<ISpRecoGrammar>& pGrammar) = 0;
  // The voice that speaks for this context.
  virtual HRESULT GetVoice(std::shared_ptr<ISpVoice>& pVoice) = 0;
  // S_OK when an event of interest is queued (at once if one is), S_FALSE after uMilliseconds of
  // heard audio, SPERR_AUDIO_STOPPED when the input is gone or not listening.
  virtual HRESULT WaitForNotifyEvent(uint32_t uMilliseconds) = 0;
  // Takes the oldest queued event; bFetched false when none is queued.
  virtual HRESULT GetEvents(SSpEvent& oEvent, bool& bFetched) = 0;
  // Drops every queued event.
  virtual void ClearEvents() = 0;
};

class ISpRecognizer {
 public:
  virtual ~ISpRecognizer() = default;
  virtual HRESULT CreateRecoContext(std::shared_ptr<ISpRecoContext>& pContext) = 0;
  // bAllowFormatChanges: the recogniser converts the input's rate to its own.
  virtual HRESULT SetInput(std::shared_ptr<CSpAudioIn> pInput, bool bAllowFormatChanges) = 0;
};

HRESULT CreateSpVoice(std::shared_ptr<ISpVoice>& pVoice);
HRESULT CreateSpInprocRecognizer(std::shared_ptr<ISpRecognizer>& pRecognizer);

// Synthesises sText with the shared espeak-ng engine into 16-bit mono samples at uSampleRate
// (resampled from the engine's rate); false when the engine is not available.
bool SynthesizeSpeech(const std::string& sText, uint32_t uSampleRate,
                      std::vector<int16_t>& aSamples);

// The acoustic model folder in use (WDX_SPEECH_MODEL or the Debian package's).
std::string GetSpeechModelFolder();

}  // namespace wdx
