// wdxsvc: the Wardenix monitor service and its command endpoint.
#include "service/host/service_host.h"

int main(int argc, char** argv) {
  wdx::CServiceHost oHost;
  return oHost.Main(argc, argv);
}
