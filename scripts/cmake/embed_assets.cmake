# cmake -DOUT=file.cc -DASSET_DIR=dir -P embed_assets.cmake
# Writes a C++ source that holds every file of ASSET_DIR as a byte array (see web_assets.h).
file(GLOB files RELATIVE ${ASSET_DIR} ${ASSET_DIR}/*)
list(SORT files)
set(body "// Generated from ${ASSET_DIR}; do not edit.\n#include \"console/web/web_assets.h\"\n\nnamespace wdx {\nnamespace {\n")
set(table "")
set(index 0)
foreach(name ${files})
  file(READ ${ASSET_DIR}/${name} hex HEX)
  string(LENGTH "${hex}" hex_length)
  math(EXPR size "${hex_length} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(APPEND body "const unsigned char kAsset${index}[] = {${bytes}0};\n")
  string(APPEND table "    {\"${name}\", kAsset${index}, ${size}},\n")
  math(EXPR index "${index} + 1")
endforeach()
string(APPEND body "const SWebAsset kAssets[] = {\n${table}};\n}  // namespace\n\n"
  "const SWebAsset* FindWebAsset(std::string_view sName) {\n"
  "  for (const SWebAsset& oAsset : kAssets)\n"
  "    if (oAsset.m_sName == sName) return &oAsset;\n"
  "  return nullptr;\n}\n\n"
  "const SWebAsset* WebAssets(size_t& uCount) {\n"
  "  uCount = sizeof kAssets / sizeof kAssets[0];\n  return kAssets;\n}\n\n}  // namespace wdx\n")
file(WRITE ${OUT}.tmp "${body}")
file(COPY_FILE ${OUT}.tmp ${OUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUT}.tmp)
