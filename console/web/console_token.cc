#include "console/web/console_token.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "foundation/process_log.h"

namespace wdx {
namespace {

constexpr size_t kTokenBytes = 32;

bool FillRandom(unsigned char* pBuffer, size_t uSize) {
  size_t uDone = 0;
  while (uDone < uSize) {
    const ssize_t iGot = getrandom(pBuffer + uDone, uSize - uDone, 0);
    if (iGot < 0 && errno == EINTR) continue;
    if (iGot <= 0) break;
    uDone += static_cast<size_t>(iGot);
  }
  if (uDone == uSize) return true;
  // Kernels without getrandom: the device gives the same bytes.
  const int iFd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
  if (iFd < 0) return false;
  while (uDone < uSize) {
    const ssize_t iGot = read(iFd, pBuffer + uDone, uSize - uDone);
    if (iGot < 0 && errno == EINTR) continue;
    if (iGot <= 0) break;
    uDone += static_cast<size_t>(iGot);
  }
  close(iFd);
  return uDone == uSize;
}

bool IsToken(const std::string& sText) {
  if (sText.size() != 2 * kTokenBytes) return false;
  for (char c : sText) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

std::string Mode(mode_t uMode) {
  char szMode[8];
  std::snprintf(szMode, sizeof szMode, "%04o", static_cast<unsigned>(uMode & 07777));
  return szMode;
}

// Makes the file with a new token; false when it exists already (another console made it).
bool CreateTokenFile(const std::string& sPath, std::string& sToken, std::string& sError,
                     bool& bExists) {
  bExists = false;
  const int iFd = open(sPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (iFd < 0) {
    bExists = errno == EEXIST;
    if (!bExists)
      sError = "Cannot create the console's token file " + sPath + ": " + strerror(errno);
    return false;
  }
  sToken = RandomHex(kTokenBytes);
  const std::string sLine = sToken + "\n";
  const bool bOk = !sToken.empty() && fchmod(iFd, 0600) == 0 &&
                   write(iFd, sLine.data(), sLine.size()) == static_cast<ssize_t>(sLine.size()) &&
                   fsync(iFd) == 0;
  close(iFd);
  if (!bOk) {
    unlink(sPath.c_str());
    sError = "Cannot write the console's token file " + sPath + ".";
    return false;
  }
  ZuvLogMessage("Console token file created.");
  return true;
}

bool ReadTokenFile(const std::string& sPath, std::string& sToken, std::string& sError) {
  const int iFd = open(sPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  struct stat oStat = {};
  if (iFd < 0 || fstat(iFd, &oStat) != 0) {
    sError = "Cannot read the console's token file " + sPath + ": " + strerror(errno);
    if (iFd >= 0) close(iFd);
    return false;
  }
  char aBuffer[256];
  const ssize_t iRead = read(iFd, aBuffer, sizeof aBuffer);
  close(iFd);
  if (!S_ISREG(oStat.st_mode) || oStat.st_uid != geteuid()) {
    sError = "The console's token file " + sPath +
             " is not a file of this user; remove it to get a new token.";
    return false;
  }
  if ((oStat.st_mode & 077) != 0) {
    sError = "The console's token file " + sPath + " can be read by others (mode " +
             Mode(oStat.st_mode) + "); make it private with: chmod 600 '" + sPath + "'";
    return false;
  }
  std::string sText(aBuffer, iRead > 0 ? static_cast<size_t>(iRead) : 0);
  while (!sText.empty() && (sText.back() == '\n' || sText.back() == '\r')) sText.pop_back();
  if (!IsToken(sText)) {
    sError =
        "The console's token file " + sPath + " holds no valid token; remove it to get a new one.";
    return false;
  }
  sToken = sText;
  return true;
}

}  // namespace

std::string RandomHex(size_t uBytes) {
  std::string sBytes(uBytes, '\0');
  if (!FillRandom(reinterpret_cast<unsigned char*>(sBytes.data()), uBytes)) {
    ZuvLogError("RandomHex() failed: no random bytes from the kernel.");
    return "";
  }
  static const char kDigits[] = "0123456789abcdef";
  std::string sHex;
  sHex.reserve(2 * uBytes);
  for (unsigned char c : sBytes) {
    sHex.push_back(kDigits[c >> 4]);
    sHex.push_back(kDigits[c & 15]);
  }
  return sHex;
}

bool LoadOrCreateConsoleToken(const std::string& sProgramFolder, std::string& sToken,
                              std::string& sError) {
  const std::string sPath = sProgramFolder + kConsoleTokenFile;
  bool bExists = false;
  if (CreateTokenFile(sPath, sToken, sError, bExists)) return true;
  if (!bExists) {
    ZuvLogError("LoadOrCreateConsoleToken() failed to create the token file.");
    return false;
  }
  if (ReadTokenFile(sPath, sToken, sError)) return true;
  ZuvLogError("LoadOrCreateConsoleToken() refused the token file.");
  return false;
}

bool SameSecret(const std::string& sA, const std::string& sB) {
  if (sA.size() != sB.size()) return false;
  unsigned char uDiff = 0;
  for (size_t i = 0; i < sA.size(); ++i) uDiff |= static_cast<unsigned char>(sA[i] ^ sB[i]);
  return uDiff == 0;
}

}  // namespace wdx
