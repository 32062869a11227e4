// Codes of the monitored items: the item types (what is watched) and the item states (what was
// last seen). The numbers stand at the start of every UpTime.log observation line.
//
// Threading: constants only.
#pragma once

namespace wdx {

// Item types.
inline constexpr int ITEM_PROGRAM = 100;     // a line of [PROGS] or [STOPS]
inline constexpr int ITEM_LOCAL_URL = 101;   // a line of [URLS]
inline constexpr int ITEM_REMOTE_URL = 102;  // a line of [RURLS]
inline constexpr int ITEM_RESTART = 103;     // the single item "Restart"

// Item states.
inline constexpr int ITEM_UNKNOWN = 100;  // never reported since the start
inline constexpr int ITEM_DOWN = 101;
inline constexpr int ITEM_UP = 102;

}  // namespace wdx
