// wdxregsvr [/s] [/u] LIBRARY: registers or unregisters a component library.
#include <iostream>
#include <string>
#include <vector>

#include "platform/regsvr_tool.h"

int main(int argc, char** argv) {
  std::vector<std::string> oArgs(argv + 1, argv + argc);
  return wdx::RunRegsvrTool(oArgs, std::cout, std::cerr);
}
