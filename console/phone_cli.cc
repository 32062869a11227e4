#include "console/phone_cli.h"

#include <csignal>
#include <fstream>
#include <ostream>
#include <sstream>

#include "components/rirer2oduvo/irirer2oduvo.h"
#include "foundation/ram_file.h"
#include "platform/file_system.h"
#include "service/alerts/phoner.h"
#include "service/settings/all_sets.h"

namespace wdx {
namespace {

constexpr size_t kMaxNumberLength = 255;
constexpr const char* kLibrary = "ZuvRirer2Oduvo.so";

volatile std::sig_atomic_t g_bInterrupted = 0;

void OnInterrupt(int) {
  g_bInterrupted = 1;
}

// The component, registering the library beside the console when its class is unknown.
IRirer2Oduvo* CreatePhoneComponent() {
  IRirer2Oduvo* pComponent = nullptr;
  HRESULT hr = CreateInstance(CLSID_Rirer2Oduvo, IID_IRirer2Oduvo, reinterpret_cast<void**>(&pComponent));
  if (!Succeeded(hr)) {
    const std::string sLibrary = FolderOf(GetFileSystem().GetExecutablePath()) + kLibrary;
    if (Succeeded(RegisterLibrary(sLibrary, false))) {
      hr = CreateInstance(CLSID_Rirer2Oduvo, IID_IRirer2Oduvo, reinterpret_cast<void**>(&pComponent));
    }
  }
  return Succeeded(hr) ? pComponent : nullptr;
}

std::string FileText(const std::string& sPath) {
  std::ifstream oFile(sPath, std::ios::binary);
  std::ostringstream oText;
  oText << oFile.rdbuf();
  return oText.str();
}

// The lines of sText after its first uFrom bytes (a rotated log counts from its start).
void PrintAddedLines(const std::string& sText, size_t uFrom, std::ostream& oOut) {
  std::istringstream oLines(uFrom <= sText.size() ? sText.substr(uFrom) : sText);
  std::string sLine;
  while (std::getline(oLines, sLine)) {
    while (!sLine.empty() && (sLine.back() == '\r' || sLine.back() == '\n')) sLine.pop_back();
    if (!sLine.empty()) oOut << "  " << sLine << "\n";
  }
}

const char* OutcomeText(int32_t lStatus, bool bAcknowledged, bool bAckWanted) {
  if (lStatus != PHONE_STATUS_DONE) return "not reached";
  if (!bAckWanted) return "reached: the message was played";
  return bAcknowledged ? "reached and acknowledged" : "reached, but nobody said YES";
}

}  // namespace

int RunPhoneCommand(const std::vector<std::string>& oArgs, const std::string& sFolder,
                    std::ostream& oOut, std::ostream& oErr) {
  if (oArgs.size() < 3 || oArgs.size() > 4 || oArgs[1] != "test") {
    oErr << "usage: wardenix phone test NUMBER [NAME]\n";
    return 2;
  }
  const std::string& sNumber = oArgs[2];
  const std::string sName = oArgs.size() == 4 ? oArgs[3] : "Test call";
  if (sNumber.empty() || sNumber.size() > kMaxNumberLength || sName.empty()) {
    oErr << "wardenix: give a number of 1 to " << kMaxNumberLength << " characters and a name.\n";
    return 2;
  }
  CRamFileRO oKeyFile;
  CAllSets oSets;
  oSets.m_pKeyFile = &oKeyFile;
  oSets.m_oStrWorkingFolder.Assign(sFolder.c_str());
  if (!oSets.ReInitialize()) {
    oErr << "wardenix: cannot read the settings of " << sFolder << ".\n";
    return 1;
  }
  const std::string sLog = sFolder + "PhoneOuts.log";
  const size_t uLogBefore = FileText(sLog).size();
  oOut << "Starting the phone component..." << std::endl;
  CPhoner oPhoner(&CreatePhoneComponent);
  oPhoner.SetWorkingDirectory(sFolder);
  if (!oPhoner.Initialize(&oSets) || !oPhoner.IsReady()) {
    oErr << "wardenix: the phone component is not ready (see PhoneOuts.log and Wardenix.log).\n";
    PrintAddedLines(FileText(sLog), uLogBefore, oErr);
    return 1;
  }
  g_bInterrupted = 0;
  std::signal(SIGINT, &OnInterrupt);
  int iTicks = 0;
  oPhoner.SetCancelCheck([&] {
    if (++iTicks % 20 == 0) oOut << "." << std::flush;  // every 5 s of waiting
    return g_bInterrupted != 0;
  });
  oOut << "Calling " << sName << " at " << sNumber << "..." << std::endl;
  oPhoner.SetMessageType(PHONE_MSG_UPDATE);
  oPhoner.SendTestCall(sName, sNumber, oSets.m_oStrMsgDown.GetBuffer());
  std::signal(SIGINT, SIG_DFL);
  const int32_t lStatus = oPhoner.GetProcessingStatus();
  const bool bAcknowledged = oPhoner.GetAcknowledged();
  oPhoner.Release();
  oOut << "\nOutcome: " << OutcomeText(lStatus, bAcknowledged, oSets.m_bPhoneAck)
       << " (status " << lStatus << ")\nPhoneOuts.log:\n";
  PrintAddedLines(FileText(sLog), uLogBefore, oOut);
  return lStatus == PHONE_STATUS_DONE ? 0 : 1;
}

}  // namespace wdx
