// What the console's About box shows: the product, its version, the program folder and the
// copyright line; `wardenix about` prints it and the web console serves it as JSON.
//
// Threading: pure functions; any thread.
#pragma once

#include <string>

namespace wdx {

inline constexpr const char* WDX_PRODUCT_NAME = "Wardenix";
inline constexpr const char* WDX_PRODUCT_VERSION = "1.0";
inline constexpr const char* WDX_COPYRIGHT = "Copyright (c) Wardenix. All rights reserved.";

struct SAboutInfo {
  std::string m_sProduct;
  std::string m_sVersion;
  std::string m_sProgramFolder;  // ends with "/"
  std::string m_sCopyright;
};

SAboutInfo GetAboutInfo(const std::string& sProgramFolder);
// The About box as lines of text, each ending in "\n".
std::string FormatAbout(const SAboutInfo& oAbout);

}  // namespace wdx
