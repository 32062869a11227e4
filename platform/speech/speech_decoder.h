// The recogniser's engine: one pocketsphinx decoder with the acoustic model of the speech
// layer, the words of the grammar in use (spelled as the grammar spells them, pronounced as the
// model's dictionary says) and the utterance being heard.
//
// Audio is fed at 16 kHz. The decoder's voice activity detection marks where speech starts and
// ends; each finished utterance is then decoded again as a whole, so that its own cepstral mean
// normalises it (a first utterance heard on a fresh decoder is otherwise judged against the
// model's default mean and easily mistaken). Speech already under way when listening starts
// (the far end talking over the prompt) is skipped up to its first pause: the end of a word is
// easily taken for another word of the grammar.
//
// Threading: one thread at a time per decoder; creation and grammar loading are serialised
// process-wide.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/speech/speech.h"

struct ps_decoder_s;

namespace wdx {

inline constexpr uint32_t kDecoderRate = 16000;

class CSpeechDecoder final {
 public:
  // SPERR_NOT_FOUND when the model folder or its dictionary is missing, E_FAIL when the model
  // does not load; each with a line in the process log.
  static HRESULT Create(std::unique_ptr<CSpeechDecoder>& pDecoder);
  ~CSpeechDecoder();
  CSpeechDecoder(const CSpeechDecoder&) = delete;
  CSpeechDecoder& operator=(const CSpeechDecoder&) = delete;

  // Loads a JSGF grammar and makes its public rule the one listened for. SPERR_NOT_FOUND for a
  // missing file, E_FAIL for a grammar that does not parse or a word the dictionary lacks; the
  // grammar in use is then kept.
  HRESULT LoadGrammar(const std::string& sPath);
  bool HasGrammar() const { return m_bHasGrammar; }

  // Forgets the utterance being heard (listening starts again from nothing).
  void Restart();
  // Feeds 16 kHz samples and appends what happened: SPEI_PHRASE_START when speech starts,
  // SPEI_RECOGNITION or SPEI_FALSE_RECOGNITION when it ends. False when the engine fails.
  bool Process(const int16_t* pSamples, size_t uCount, std::vector<SSpEvent>& aEvents);

 private:
  explicit CSpeechDecoder(ps_decoder_s* pDecoder, std::string sDictionary);
  // bSpeechEnded: the detector heard the end (else the utterance is cut for its length).
  bool FinishUtterance(bool bSpeechEnded, std::vector<SSpEvent>& aEvents);

  ps_decoder_s* m_pDecoder;
  const std::string m_sDictionary;
  bool m_bHasGrammar = false;
  bool m_bInUtterance = false;
  bool m_bInSpeech = false;
  size_t m_uListened = 0;   // samples fed since the last Restart
  bool m_bSkipping = false;  // skipping speech that was under way when listening started
  size_t m_uQuiet = 0;       // samples of the pause heard so far while skipping
  std::vector<int16_t> m_aHeard;  // the utterance so far, with a lead of silence before it
};

// The pronunciations of each of asWords in a dictionary file ("word phones..." lines,
// alternatives as "word(2) ..."), looked up without letter case; a word that is missing has no
// entry. False when the file cannot be read.
bool LookUpPronunciations(const std::string& sDictionary, const std::vector<std::string>& asWords,
                          std::vector<std::vector<std::string>>& aPronunciations);

}  // namespace wdx
