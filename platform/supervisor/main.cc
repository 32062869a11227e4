// wdxsupervisor: keeps the monitor service running where systemd does not.
#include "platform/supervisor/supervisor.h"

int main(int argc, char** argv) {
  return wdx::RunSupervisorProgram(argc, argv);
}
