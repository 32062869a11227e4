// CInstruction: one line of the restart program (keyword and value) with its file-activity
// detector, which only Detect instructions use.
//
// Threading: used by the operations thread only.
#pragma once

#include <string>

namespace wdx {

class CInstruction final {
 public:
  CInstruction() = default;
  CInstruction(const CInstruction&) = delete;
  CInstruction& operator=(const CInstruction&) = delete;

  bool Initialize(const std::string& sKeyword, const std::string& sValue);
  const std::string& GetKeyword() const { return m_sKeyword; }
  const std::string& GetValue() const { return m_sValue; }

 private:
  std::string m_sKeyword;
  std::string m_sValue;
  bool m_bInitialized = false;
};

}  // namespace wdx
