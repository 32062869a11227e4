// CIniFile: reader of plain configuration files of key=value lines (Wardenix.ini). Everything
// from the first "##" of a line is a comment; lines without "=" (section headers included) are
// skipped; key and value are trimmed of bytes outside 33..125. Keys may repeat and come in file
// order. A line ends at LF (CR bytes are dropped, so CR LF files read alike). Lines hold at most
// 512 bytes; a longer line is reported and ends the reading.
// The object's own text (CZuvStr) is the path of the file.
//
// Threading: no locks; one object is used by one thread at a time.
#pragma once

#include <string>

#include "foundation/txt_file4.h"

namespace wdx {

inline constexpr int INI_LINE_SIZE = 512;

class CIniFile final : public CTxtFile4 {
 public:
  CIniFile() = default;
  CIniFile(const CIniFile&) = delete;
  CIniFile& operator=(const CIniFile&) = delete;
  ~CIniFile() override = default;

  bool Initialize(const char* szPath);
  // Re-opens the file and reads its first key=value line; false when there is none.
  bool GetFirstKeyAndValue();
  // Reads the next key=value line; false at the end of the file.
  bool GetNextKeyAndValue();

  // Key and value of the last successful call ("" otherwise).
  const char* GetKey() const { return m_sKey.c_str(); }
  const char* GetValue() const { return m_sValue.c_str(); }
  // The last line read, without its comment.
  const char* GetLine() const { return m_sLine.c_str(); }

 private:
  // The next line into m_sLine; false at the end of the file or after an over-long line.
  bool ReadIniLine();

  std::string m_sKey;
  std::string m_sValue;
  std::string m_sLine;
};

}  // namespace wdx
