// Recognising a whole recording: every utterance of 8 kHz line audio, with any JSGF grammar.
// For checking what was said on a line (a call's recording, a synthesised text).
//
// Threading: each call builds its own recogniser; calls may run on any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace wdx {

// Replaces aUtterances with the words recognised in each utterance of a8kHz, in order
// (utterances that matched nothing are left out). False when the recogniser, the grammar or
// the audio fails.
bool TranscribeSamples(const std::vector<int16_t>& a8kHz, const std::string& sGrammarPath,
                       std::vector<std::string>& aUtterances);

}  // namespace wdx
