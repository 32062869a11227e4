// CCryptoTxtfile: the scrambled line file of the settings store. Every character of a line is
// replaced on disk by its scrambled form, keyed by its position p = line counter x line buffer
// size + column and the fixed table of foundation/scramble_table.h; the CR LF ending is written
// unscrambled. Scrambled bytes lie between 32 and 192, so they never collide with CR or LF.
// Only characters 32 to 126 may be stored: Append cuts a line at the first other character.
// The line counter is the index of the next line read or written (0 after Initialize).
// All error texts go to the process log.
//
// Threading: no locks; one object is used by one thread at a time.
#pragma once

#include <cstdint>
#include <string>

#include "foundation/txt_file4.h"

namespace wdx {

class CCryptoTxtfile final : private CTxtFile4 {
 public:
  CCryptoTxtfile();
  CCryptoTxtfile(const CCryptoTxtfile&) = delete;
  CCryptoTxtfile& operator=(const CCryptoTxtfile&) = delete;
  ~CCryptoTxtfile() override;

  // Allocates the line buffer and resets the line counter to 0.
  bool Initialize(int iSize);

  using CTxtFile4::Close;
  using CTxtFile4::Create;         // "w+b"
  using CTxtFile4::GetLineBuffer;  // unscrambled text of the last line read
  using CTxtFile4::GetLineBufferSize;
  using CTxtFile4::IsEof;
  using CTxtFile4::IsLive;
  using CTxtFile4::IsOpen;
  using CTxtFile4::IsReadError;
  using CTxtFile4::OpenForReadOnly;                                                   // "rb"
  using CTxtFile4::OpenForReadOnlyQuietly;                                            // "rb"
  using CTxtFile4::OpenForReadWrite;                                                  // "r+b"
  bool OpenForReadAppend(const char* szPath) { return ReOpenForReadAppend(szPath); }  // "a+b"

  // Reads and unscrambles the next line; the line counter moves on with every call made while
  // a stream is open, whatever the result.
  bool ReadTextLine();
  // Scrambles one line and writes it with CR LF. A character that does not come back unchanged
  // (anything outside 32 to 126) ends the line there with "CCryptoTxtfile::Append failed.":
  // the part before it is written and the result is false.
  bool Append(const char* szText);
  // As Append, but adds the scrambled line and CR LF to sOut instead of writing it.
  bool AppendToText(const char* szText, std::string& sOut);

  int GetLineCounter() const { return m_iLineCounter; }

  // The key byte for a character position (0 where the table has no character).
  static int KeyAt(int64_t iPosition);
  static unsigned char Scramble(unsigned char cChar, int64_t iPosition);
  static unsigned char Unscramble(unsigned char cByte, int64_t iPosition);

 private:
  static const STexts& CryptoTexts();
  char DecodeChar(char cRaw, int iColumn) override;
  bool DecodesText() const override { return true; }
  int64_t LineStart() const;
  // Scrambles the accepted prefix of szText into sOut; false when a character was refused.
  bool ScrambleLine(const char* szText, std::string& sOut) const;

  int m_iLineCounter = 0;
};

}  // namespace wdx
