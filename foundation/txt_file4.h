// CTxtFile4: buffered reader and writer of text files made of lines ended by CR LF. Streams are
// opened in byte mode and shared with every other opener. A line is read into an owned line
// buffer of a fixed size; a line ends at the first CR that follows an LF or the first LF that
// follows a CR, and stray single CRs or LFs are dropped from the text.
//
// Errors go to the process log, or to the debug output when the quiet flag is set (the event
// log sets it so that its own file errors never write into the log). The texts of Initialize
// and IsLive always go to the process log.
//
// Threading: no locks; one object is used by one thread at a time.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "foundation/zuv_str.h"

namespace wdx {

class CTxtFile4 : public CZuvStr {
 public:
  CTxtFile4();
  CTxtFile4(const CTxtFile4&) = delete;
  CTxtFile4& operator=(const CTxtFile4&) = delete;
  ~CTxtFile4() override;

  // Allocates the line buffer (iSize + 1 bytes) and marks the object initialised.
  bool Initialize(int iSize);

  bool OpenForReadOnly(const char* szPath);         // "rb"
  bool OpenForReadOnlyQuietly(const char* szPath);  // "rb", nothing reported
  bool OpenForReadWrite(const char* szPath);        // "r+b", the file must exist
  bool ReOpenForReadAppend(const char* szPath);     // "a+b", created if missing
  bool Create(const char* szPath);                  // "w+b", truncated or created

  // Reads the next line into the line buffer; see the class comment for line ends.
  bool ReadTextLine();
  // Reads one byte into the last-character field.
  bool ReadCharForward();
  // Writes the text and CR LF at the current position.
  bool WriteTextLine(const char* szText);
  // Appends the bytes at the end of the open file in one piece: when they cannot all be written
  // (disk full) the file is cut back to where it ended, so no torn line is left for the next
  // writer to continue. False then, and when no stream is open.
  bool AppendWhole(const std::string& sBytes);
  // Size of the open file in bytes (what was handed to it), -1 when no stream is open.
  int64_t GetOpenFileSize();
  // Hands buffered writes to the file; false when no stream is open or the flush fails.
  bool Flush();
  // Flushes and closes; true when nothing was open or the close succeeded.
  bool Close();
  // Deletes the named file; the object is left without a stream.
  bool Delete(const char* szPath);

  bool IsOpen() const { return m_bOpen; }
  bool IsLive() const;
  bool IsEof() const { return m_bEof; }
  bool IsReadError() const { return m_bReadError; }
  bool IsQuiet() const { return m_bQuiet; }
  void SetQuiet(bool bQuiet) { m_bQuiet = bQuiet; }

  // The text of the last line read ("" before the first read).
  const char* GetLineBuffer() const;
  int GetLineBufferSize() const { return m_iLineBufferSize; }
  const char* GetPath() const { return m_szPath; }
  char GetLastChar() const { return m_cLastChar; }

 protected:
  // The error texts of a class built on this one (each names that class).
  struct STexts {
    const char* szInitZero;
    const char* szInitNoRam;
    const char* szNotInitialized;
    const char* szReadNotOpen;
    const char* szOverflow;
    const char* szReadChar;
    const char* szOpenReadOnly;
    const char* szOpenReadWrite;
    const char* szOpenReadAppend;
    const char* szCreate;
  };

  explicit CTxtFile4(const STexts& oTexts);

  // The character stored for the raw byte cRaw at column iColumn of the line being read.
  virtual char DecodeChar(char cRaw, int iColumn);
  // Whether DecodeChar changes anything (plain text is stored as read, without the call).
  virtual bool DecodesText() const { return false; }
  // Writes raw bytes at the current position; false when no stream is open or the write fails.
  bool WriteRaw(const char* pData, size_t uLength);
  // An error text: to the debug output when quiet, otherwise to the process log.
  void Report(const char* szText) const;

 private:
  struct SFileCloser {
    void operator()(FILE* pFile) const;
  };

  static const STexts& DefaultTexts();
  bool OpenWithMode(const char* szPath, const char* szMode, const char* szFailText);
  // Records why no character came: the end of the file, or a read error (reported).
  void NoMoreChars();

  const STexts& m_oTexts;
  bool m_bQuiet = false;
  bool m_bEof = false;
  bool m_bReadError = false;
  std::unique_ptr<char[]> m_pLineBuffer;
  char m_szPath[256] = {};
  std::unique_ptr<FILE, SFileCloser> m_pStream;
  char m_szMode[12] = {};
  int m_iLineBufferSize = 0;
  bool m_bInitialized = false;
  char m_cLastChar = 0;
  bool m_bOpen = false;
};

}  // namespace wdx
