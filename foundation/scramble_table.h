// The fixed key table of the scrambled settings file: 1990 printable characters (byte values 32
// to 126). Every program that reads or writes AutoSet.caf uses this one table; a file written
// with another table cannot be read back.
//
// Threading: constant data, safe from any thread.
#pragma once

namespace wdx {

inline constexpr int SCRAMBLE_TABLE_LENGTH = 1990;

// The table text (SCRAMBLE_TABLE_LENGTH characters and a NUL).
const char* GetScrambleTable();

}  // namespace wdx
