// CInstruction: one line of the restart program (keyword and value, as written) with its
// file-activity detector, which is made for every instruction and used only by Detect.
// Instructions are owned by the warden's instruction list.
//
// Threading: used by the operations thread only.
#pragma once

#include <string>

#include "service/restart/activity_detector.h"

namespace wdx {

class CInstruction final {
 public:
  CInstruction() = default;
  CInstruction(const CInstruction&) = delete;
  CInstruction& operator=(const CInstruction&) = delete;

  // False (and logged) for an empty keyword.
  bool Initialize(const std::string& sKeyword, const std::string& sValue);
  bool IsInitialized() const { return m_bInitialized; }
  const std::string& GetKeyword() const { return m_sKeyword; }
  const std::string& GetValue() const { return m_sValue; }
  // True when the keyword is sKeyword, ignoring case.
  bool Is(const char* szKeyword) const;
  CActivityDetector& GetDetector() { return m_oDetector; }

 private:
  std::string m_sKeyword;
  std::string m_sValue;
  CActivityDetector m_oDetector;
  bool m_bInitialized = false;
};

// True when sText holds szPart, ignoring the case of A-Z.
bool ContainsNoCase(const std::string& sText, const char* szPart);

}  // namespace wdx
