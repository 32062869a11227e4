#include "console/about.h"

namespace wdx {

SAboutInfo GetAboutInfo(const std::string& sProgramFolder) {
  return SAboutInfo{WDX_PRODUCT_NAME, WDX_PRODUCT_VERSION, sProgramFolder, WDX_COPYRIGHT};
}

std::string FormatAbout(const SAboutInfo& oAbout) {
  return oAbout.m_sProduct + " Version " + oAbout.m_sVersion + "\n" +
         "Program folder: " + oAbout.m_sProgramFolder + "\n" + oAbout.m_sCopyright + "\n";
}

}  // namespace wdx
