// wdxcall PROGID [METHOD [ARG...]]: calls a component's methods by name (see wdxcall.h).
#include <iostream>
#include <string>
#include <vector>

#include "console/wdxcall/wdxcall.h"

int main(int argc, char** argv) {
  std::vector<std::string> oArgs(argv + 1, argv + argc);
  return wdx::RunWdxcall(oArgs, std::cin, std::cout, std::cerr);
}
