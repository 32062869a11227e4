// The warden's life and its duties on the machine: initialisation and release, the reboot, the
// heartbeat file and the registration of the components.
#include <algorithm>
#include <string>

#include "foundation/process_log.h"
#include "foundation/txt_file4.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "service/restart/instruction.h"
#include "service/restart/warden.h"

namespace wdx {
namespace {

const char* const kBanner = "XXXXXXX**********************XXXXXXX*************************XXXXXXX";
const char* const kHeartbeatFolder = "/var/lib/wardenix/heartbeat/";

std::string TwoDigits(int iValue) {
  return std::string(1, static_cast<char>('0' + iValue / 10 % 10)) +
         static_cast<char>('0' + iValue % 10);
}

}  // namespace

bool CWarden::ReBoot() {
  ZuvLogError(kBanner);
  ZuvLogError(kBanner);
  ZuvLogError("RESTART FAILURE DETECTED. Attempting REBOOT and RESTART........");
  ZuvLogError(kBanner);
  ZuvLogError(kBanner);
  ZuvLogError("Failures Detected. Re-booting server....");
  ZuvLogError("Cannot get re-boot priviledge assigned.");
  return false;
}

bool CWarden::WriteHeartbeatFile() {
  SLocalTime oNow;
  GetClock().GetLocalTime(oNow);
  const std::string sLine = TwoDigits(oNow.m_iMonth) + "/" + TwoDigits(oNow.m_iDay) + "/" +
                            TwoDigits(oNow.m_iYear % 100) + " " + TwoDigits(oNow.m_iHour) + ":" +
                            TwoDigits(oNow.m_iMinute) + ":" + TwoDigits(oNow.m_iSecond) +
                            " System working.";
  IFileSystem& oFiles = GetFileSystem();
  const std::string sPath =
      (oFiles.FolderExists(kHeartbeatFolder) ? std::string(kHeartbeatFolder) : m_sBaseDirectory) +
      "Beat.txt";
  CTxtFile4 oFile;
  bool bOk = oFile.Initialize(4096);
  if (!bOk) {
    ZuvLogError("CWarden::WriteHeartbeatFile() CTxtFile init failed.");
  } else if (oFiles.FileExists(sPath)) {
    bOk = oFile.ReOpenForReadAppend(sPath.c_str());
    if (!bOk) ZuvLogError(("CWarden::WriteHeartbeatFile() could not open " + sPath + ".").c_str());
  } else {
    bOk = oFile.Create(sPath.c_str());
    if (!bOk) ZuvLogError(("CWarden::WriteHeartbeatFile()could not create " + sPath).c_str());
  }
  // Whole or not at all, so a full disk leaves no torn line for the next one to continue.
  if (bOk && !oFile.AppendWhole(sLine + "\r\n")) {
    ZuvLogError(("CWarden::WriteHeartbeatFile()could not append " + sPath).c_str());
    bOk = false;
  }
  oFile.Close();
  if (!bOk) ZuvLogError("CWarden::WriteHeartbeatFile() failed");
  return bOk;
}

bool CWarden::SetDebugPrivilidge() {
  return true;
}

void CWarden::DisableAutoLogon() {}

bool CWarden::SetAutoRunStatus(bool bOn) {
  (void)bOn;
  return false;
}

bool CWarden::LoadUninstallIconKey() {
  return true;
}

bool CWarden::RegisterObjects() {
  return true;
}

bool CWarden::RegisterAtlObject(const std::string& sLibrary, const std::string& sProgId) {
  (void)sLibrary;
  (void)sProgId;
  return false;
}

}  // namespace wdx
