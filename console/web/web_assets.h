// The web console's files (page, style, scripts, pictures) compiled into the program from
// console/web/assets/, so the console needs no files beside it to serve its page.
//
// Threading: constant data; any thread.
#pragma once

#include <cstddef>
#include <string_view>

namespace wdx {

struct SWebAsset {
  std::string_view m_sName;  // file name in console/web/assets/, e.g. "index.html"
  const unsigned char* m_pData;
  size_t m_uSize;
};

// Null when there is no asset of that name.
const SWebAsset* FindWebAsset(std::string_view sName);
// Every asset, for listing; ends at a count.
const SWebAsset* WebAssets(size_t& uCount);

}  // namespace wdx
