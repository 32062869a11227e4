#include "platform/speech/speech_decoder.h"

#include <pocketsphinx.h>
#include <sphinxbase/ckd_alloc.h>
#include <sphinxbase/err.h>
#include <sphinxbase/fsg_model.h>
#include <sphinxbase/jsgf.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>

#include "platform/platform_log.h"

namespace wdx {
namespace {

// Audio kept before speech is detected, so that the whole-utterance pass sees its beginning,
// and silence left out at its end (most of what the detector waited for before it called the
// speech ended): with no filler words in the search, the words must cover all of it, and long
// stretches of silence favour long words.
constexpr size_t kLeadSamples = kDecoderRate * 3 / 10;  // 300 ms
constexpr size_t kTailSamples = kDecoderRate * 4 / 10;  // 400 ms
// Audio above this level somewhere is sound, not a pause (the end of a word, such as the "s" of
// "yes", is well above it). A pause lasts a while; a word under way ends within a second (a
// noisy line is heard after that).
constexpr int kQuietLevel = 300;
constexpr size_t kPauseSamples = kDecoderRate * 15 / 100;  // 150 ms
constexpr size_t kMaxSkipSamples = kDecoderRate;           // 1 s
// Speech heard this early after listening starts was already under way.
constexpr size_t kUnderWaySamples = kDecoderRate * 6 / 100;  // 60 ms
// Longer speech is cut into utterances of this length.
constexpr size_t kMaxUtterance = 30 * kDecoderRate;  // 30 s

bool IsAbove(const int16_t* pSamples, size_t uCount, int iLevel) {
  return std::any_of(pSamples, pSamples + uCount,
                     [iLevel](int16_t iSample) { return std::abs(int{iSample}) > iLevel; });
}

std::mutex& EngineLock() {
  static std::mutex oLock;
  return oLock;
}

bool IsFolder(const std::string& sPath) {
  struct stat oStat {};
  return stat(sPath.c_str(), &oStat) == 0 && S_ISDIR(oStat.st_mode);
}

bool IsFile(const std::string& sPath) {
  struct stat oStat {};
  return stat(sPath.c_str(), &oStat) == 0 && S_ISREG(oStat.st_mode);
}

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

// The words of the public rule of a parsed grammar; null fsg when it has none.
fsg_model_t* BuildRule(jsgf_t* pGrammar, ps_decoder_t* pDecoder,
                       std::vector<std::string>& asWords) {
  jsgf_rule_t* pRule = jsgf_get_public_rule(pGrammar);
  if (pRule == nullptr) return nullptr;
  fsg_model_t* pFsg = jsgf_build_fsg(pGrammar, pRule, ps_get_logmath(pDecoder),
                                     cmd_ln_float32_r(ps_get_config(pDecoder), "-lw"));
  if (pFsg == nullptr) return nullptr;
  for (int i = 0; i < fsg_model_n_word(pFsg); ++i) {
    if (!fsg_model_is_filler(pFsg, i)) asWords.emplace_back(fsg_model_word_str(pFsg, i));
  }
  return pFsg;
}

}  // namespace

bool LookUpPronunciations(const std::string& sDictionary, const std::vector<std::string>& asWords,
                          std::vector<std::vector<std::string>>& aPronunciations) {
  aPronunciations.assign(asWords.size(), {});
  std::ifstream oFile(sDictionary);
  if (!oFile) return false;
  std::vector<std::string> asLower;
  for (const std::string& sWord : asWords) asLower.push_back(Lower(sWord));
  std::string sLine;
  while (std::getline(oFile, sLine)) {
    const size_t uBlank = sLine.find_first_of(" \t");
    if (uBlank == std::string::npos) continue;
    std::string sEntry = Lower(sLine.substr(0, uBlank));
    if (const size_t uAlt = sEntry.find('('); uAlt != std::string::npos && uAlt > 0)
      sEntry.resize(uAlt);
    const size_t uPhones = sLine.find_first_not_of(" \t", uBlank);
    if (uPhones == std::string::npos) continue;
    for (size_t i = 0; i < asLower.size(); ++i) {
      if (asLower[i] == sEntry) aPronunciations[i].push_back(sLine.substr(uPhones));
    }
  }
  return true;
}

HRESULT CSpeechDecoder::Create(std::unique_ptr<CSpeechDecoder>& pDecoder) {
  pDecoder.reset();
  const std::string sFolder = GetSpeechModelFolder();
  const std::string sModel = sFolder + "/en-us";
  const std::string sDictionary = sFolder + "/cmudict-en-us.dict";
  if (!IsFolder(sModel) || !IsFile(sDictionary)) {
    PlatformLogError("Speech recognition: the acoustic model or its dictionary is missing.");
    return SPERR_NOT_FOUND;
  }
  std::lock_guard<std::mutex> oGuard(EngineLock());
  err_set_logfp(nullptr);
  // The dictionary starts empty: loading a grammar adds its own words. No filler words in the
  // grammar's search: with them, weak syllables of line audio (the "good" of "goodbye") are
  // taken for noise.
  cmd_ln_t* pConfig =
      cmd_ln_init(nullptr, ps_args(), TRUE, "-hmm", sModel.c_str(), "-dict", "/dev/null", "-logfn",
                  "/dev/null", "-fsgusefiller", "no", nullptr);
  ps_decoder_t* pEngine = pConfig == nullptr ? nullptr : ps_init(pConfig);
  if (pConfig != nullptr) cmd_ln_free_r(pConfig);
  if (pEngine == nullptr) {
    PlatformLogError("Speech recognition: the acoustic model could not be loaded.");
    return E_FAIL;
  }
  pDecoder.reset(new CSpeechDecoder(pEngine, sDictionary));
  return S_OK;
}

CSpeechDecoder::CSpeechDecoder(ps_decoder_s* pDecoder, std::string sDictionary)
    : m_pDecoder(pDecoder), m_sDictionary(std::move(sDictionary)) {}

CSpeechDecoder::~CSpeechDecoder() {
  Restart();
  ps_free(m_pDecoder);
}

HRESULT CSpeechDecoder::LoadGrammar(const std::string& sPath) {
  if (!IsFile(sPath)) {
    PlatformLogError("Speech recognition: the grammar file does not exist.");
    return SPERR_NOT_FOUND;
  }
  Restart();
  std::lock_guard<std::mutex> oGuard(EngineLock());
  jsgf_t* pGrammar = jsgf_parse_file(sPath.c_str(), nullptr);
  std::vector<std::string> asWords;
  fsg_model_t* pFsg = pGrammar == nullptr ? nullptr : BuildRule(pGrammar, m_pDecoder, asWords);
  if (pGrammar != nullptr) jsgf_grammar_free(pGrammar);
  if (pFsg == nullptr) {
    PlatformLogError("Speech recognition: the grammar file is not a grammar with a public rule.");
    return E_FAIL;
  }
  std::vector<std::vector<std::string>> aPronunciations;
  bool bOk = LookUpPronunciations(m_sDictionary, asWords, aPronunciations);
  for (size_t i = 0; bOk && i < asWords.size(); ++i) {
    if (aPronunciations[i].empty()) {
      PlatformLogError(("Speech recognition: the grammar's word \"" + asWords[i] +
                        "\" is not in the dictionary.")
                           .c_str());
      bOk = false;
    }
    char* szKnown = ps_lookup_word(m_pDecoder, asWords[i].c_str());
    const bool bKnown = szKnown != nullptr;
    ckd_free(szKnown);
    for (size_t j = 0; bOk && !bKnown && j < aPronunciations[i].size(); ++j) {
      const std::string sWord =
          j == 0 ? asWords[i] : asWords[i] + "(" + std::to_string(j + 1) + ")";
      bOk = ps_add_word(m_pDecoder, sWord.c_str(), aPronunciations[i][j].c_str(), FALSE) >= 0;
    }
  }
  bOk = bOk && ps_set_fsg(m_pDecoder, "grammar", pFsg) == 0 &&
        ps_set_search(m_pDecoder, "grammar") == 0;
  fsg_model_free(pFsg);
  if (!bOk) {
    PlatformLogError("Speech recognition: the grammar could not be loaded.");
    return E_FAIL;
  }
  m_bHasGrammar = true;
  return S_OK;
}

void CSpeechDecoder::Restart() {
  if (m_bInUtterance) ps_end_utt(m_pDecoder);
  m_bInUtterance = false;
  m_bInSpeech = false;
  m_uListened = 0;
  m_uQuiet = 0;
  m_bSkipping = false;
  m_aHeard.clear();
}

bool CSpeechDecoder::Process(const int16_t* pSamples, size_t uCount,
                             std::vector<SSpEvent>& aEvents) {
  if (!m_bHasGrammar) return false;
  // Speech in the first moments of listening was under way before (the converter's delay makes
  // the very first samples quiet): it is skipped up to its pause.
  const bool bStarting = m_uListened < kUnderWaySamples;
  m_uListened += uCount;
  if (bStarting && IsAbove(pSamples, uCount, kQuietLevel)) m_bSkipping = true;
  if (m_bSkipping) {
    m_uQuiet = IsAbove(pSamples, uCount, kQuietLevel) ? 0 : m_uQuiet + uCount;
    if (bStarting || (m_uQuiet < kPauseSamples && m_uListened < kMaxSkipSamples)) return true;
    m_bSkipping = false;
  }
  if (!m_bInUtterance) {
    if (ps_start_utt(m_pDecoder) < 0) return false;
    m_bInUtterance = true;
  }
  if (ps_process_raw(m_pDecoder, pSamples, uCount, FALSE, FALSE) < 0) return false;
  m_aHeard.insert(m_aHeard.end(), pSamples, pSamples + uCount);
  const bool bInSpeech = ps_get_in_speech(m_pDecoder) != 0;
  if (bInSpeech && !m_bInSpeech) aEvents.push_back(SSpEvent{SPEI_PHRASE_START, {}});
  if (!bInSpeech && m_bInSpeech) return FinishUtterance(true, aEvents);
  if (bInSpeech && m_aHeard.size() > kMaxUtterance) return FinishUtterance(false, aEvents);
  m_bInSpeech = bInSpeech;
  if (!bInSpeech && m_aHeard.size() > kLeadSamples)
    m_aHeard.erase(m_aHeard.begin(), m_aHeard.end() - static_cast<std::ptrdiff_t>(kLeadSamples));
  return true;
}

bool CSpeechDecoder::FinishUtterance(bool bSpeechEnded, std::vector<SSpEvent>& aEvents) {
  ps_end_utt(m_pDecoder);
  m_bInUtterance = false;
  m_bInSpeech = false;
  // The whole utterance again, normalised by its own mean.
  if (bSpeechEnded && m_aHeard.size() > kLeadSamples + kTailSamples)
    m_aHeard.resize(m_aHeard.size() - kTailSamples);
  const int16_t* pHeard = m_aHeard.data();
  const bool bOk = ps_start_utt(m_pDecoder) >= 0 &&
                   ps_process_raw(m_pDecoder, pHeard, m_aHeard.size(), FALSE, TRUE) >= 0 &&
                   ps_end_utt(m_pDecoder) >= 0;
  m_aHeard.clear();
  if (!bOk) return false;
  const char* szWords = ps_get_hyp(m_pDecoder, nullptr);
  if (szWords == nullptr || *szWords == '\0') {
    aEvents.push_back(SSpEvent{SPEI_FALSE_RECOGNITION, {}});
  } else {
    aEvents.push_back(SSpEvent{SPEI_RECOGNITION, szWords});
  }
  return true;
}

}  // namespace wdx
