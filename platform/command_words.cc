#include "platform/command_words.h"

namespace wdx {
namespace {

// Appends the quoted text that starts after sLine[i] (a quote) to sWord; returns the index of
// the closing quote, or npos when there is none.
size_t TakeQuoted(const std::string& sLine, size_t i, std::string& sWord) {
  const char cQuote = sLine[i];
  for (size_t j = i + 1; j < sLine.size(); ++j) {
    if (sLine[j] == cQuote) return j;
    if (cQuote == '"' && sLine[j] == '\\' && j + 1 < sLine.size() &&
        (sLine[j + 1] == '"' || sLine[j + 1] == '\\')) {
      ++j;
    }
    sWord += sLine[j];
  }
  return std::string::npos;
}

}  // namespace

bool SplitCommandWords(const std::string& sLine, std::vector<std::string>& oWords) {
  oWords.clear();
  std::string sWord;
  bool bInWord = false;
  for (size_t i = 0; i < sLine.size(); ++i) {
    const char c = sLine[i];
    if (c == ' ' || c == '\t') {
      if (bInWord) oWords.push_back(sWord);
      sWord.clear();
      bInWord = false;
      continue;
    }
    bInWord = true;
    if (c == '\\' && i + 1 < sLine.size()) {
      sWord += sLine[++i];
    } else if (c == '\'' || c == '"') {
      i = TakeQuoted(sLine, i, sWord);
      if (i == std::string::npos) {
        oWords.clear();
        return false;
      }
    } else {
      sWord += c;
    }
  }
  if (bInWord) oWords.push_back(sWord);
  return !oWords.empty();
}

}  // namespace wdx
