// Codes shared by the service, its command endpoint and the console: command codes, operations
// states, server states, truth values and the service's registration identity.
//
// Threading: constants only.
#pragma once

#include "components/rirer2oduvo/irirer2oduvo.h"

namespace wdx {

// Truth values across the command interface.
inline constexpr int WDX_TRUE = -1;
inline constexpr int WDX_FALSE = 0;

// Command codes of OpsCommand and GetStringResult.
inline constexpr int WDX_INITIALIZE = 999;
inline constexpr int WDX_GO = 1000;
inline constexpr int WDX_TEST = 1001;
inline constexpr int WDX_STOP = 1003;
inline constexpr int WDX_GET_STATE = 1004;
inline constexpr int WDX_IS_GO_MODE = 1005;
// The phone readiness queries PHONE_INIT_* (1008-1011) are the phone component's own codes.
inline constexpr int WDX_GET_CURRENT_ACTION = 1012;
inline constexpr int WDX_GET_CURRENT_ACTION_OBJECT = 1013;

// Operations states (WDX_GET_STATE). 0 before the worker was started.
inline constexpr int WDX_STATE_READY = 999;
inline constexpr int WDX_STATE_STOPPED = 1000;
inline constexpr int WDX_STATE_RUNNING = 1001;
inline constexpr int WDX_STATE_TESTING = 1002;
inline constexpr int WDX_STATE_FAILING = 1003;
inline constexpr int WDX_STATE_AUTO_GO_PENDING = 1004;
inline constexpr int WDX_STATE_REMOTE_FAILING = 1005;
inline constexpr int WDX_STATE_STOP_REQUESTED = 1006;

// Name of an operations state for people ("READY", "RUNNING", ...; "NOT_STARTED" for 0,
// "UNKNOWN" otherwise).
const char* OpsStateName(int iState);

// Server states, kept in the settings as "SvrStatus".
inline constexpr int ZUV_SERVER_UP = 1000;
inline constexpr int ZUV_FAILS_DETECTED_SERVER_RESTARTING = 1001;
inline constexpr int ZUV_FAILS_DETECTED_SERVER_REBOOTONG = 1002;

// Identity of the service and its command object.
inline constexpr const char* WDX_SERVICE_NAME = "WDXSVC";
inline constexpr const char* WDX_PROGRAM_NAME = "wdxsvc";
inline constexpr const char* WDX_SOCKET_NAME = "WDXSVC.sock";
inline constexpr const char* WDX_LOG_BASE_NAME = "WDXSVC";
inline constexpr const char* WDX_SETTINGS_FILE = "AutoSet.caf";
inline constexpr const char* WDX_APPID = "{450EF602-EBB6-434D-B8A9-13F635009CB1}";
inline constexpr const char* WDX_CLSID = "{97252B8C-0D23-4FDF-B715-FD3EC866018F}";
inline constexpr const char* WDX_CLASS_DESCRIPTION = "WDXSVR Class";
inline constexpr const char* WDX_PROGID = "WDXSVC.WDXSVR.1";
inline constexpr const char* WDX_PROGID_INDEPENDENT = "WDXSVC.WDXSVR";
inline constexpr const char* WDX_TYPELIB = "{8B31E0F8-FFA2-400D-9334-B0D8BD45D714}";
inline constexpr const char* WDX_TYPELIB_HELP = "WDXSVC 1.0 Type Library";
inline constexpr const char* WDX_IID_IWDXSVR = "{FA3738EE-1665-401F-8378-9DF27B206AE2}";
inline constexpr const char* WDX_IID_EVENTS = "{C6C24956-E463-413A-AC0A-62EDC0B6EDDE}";

}  // namespace wdx
