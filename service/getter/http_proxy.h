// FindEnvironmentProxy: the HTTP proxy that the environment names for a URL, read as libcurl
// reads it: http_proxy (lower case only) for http, https_proxy or HTTPS_PROXY for https, then
// all_proxy or ALL_PROXY; no_proxy or NO_PROXY lists hosts and domains reached directly ("*" for
// all). A proxy without a port is on port 1080.
//
// Threading: reads the environment; do not change it while a request starts.
#pragma once

#include "service/getter/http_url.h"

namespace wdx {

// True with oProxy set when a proxy is to be used for oUrl; bBadProxy when the environment
// names one that is not an http:// proxy.
bool FindEnvironmentProxy(const SHttpUrl& oUrl, SHttpUrl& oProxy, bool& bBadProxy);

}  // namespace wdx
