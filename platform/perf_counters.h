// The counter layer: real-time performance counters of processes, read from /proc. A query
// holds counters added by their full paths and collects them all at once; a counter's value is
// read as a 32-bit long, rates computed between the last two collections.
//
// Paths: \\<machine>\Process(<instance>)\<counter>. The machine name is not checked (the
// counters are always this machine's). <instance> is a process base title (the executable's
// file name cut before its first "."): "name" is the first process of that base title in /proc
// order, "name#k" the k-th after it. Counters:
//   "Elapsed Time"             seconds since the process started
//   "IO Data Bytes/sec"        rate of rchar + wchar (/proc/PID/io)
//   "IO Data Operations/sec"   rate of syscr + syscw
//   "IO Other Operations/sec"  rate of voluntary + involuntary context switches
// "Web Service(_Total)" counters come from the web server's status page where one is configured
// and otherwise fail to add. An unknown object, counter or instance, or a malformed path, fails
// to add. The process behind an instance is fixed when the counter is added; a read after that
// process has ended fails.
//
// Status codes follow the familiar PDH numbering where one exists (see the constants).
//
// Threading: one query is used by one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace wdx {

using PDH_STATUS = int32_t;
inline constexpr PDH_STATUS PDH_CSTATUS_VALID_DATA = 0;
inline constexpr PDH_STATUS PDH_CSTATUS_NO_OBJECT = static_cast<PDH_STATUS>(0xC0000BB8u);
inline constexpr PDH_STATUS PDH_CSTATUS_NO_COUNTER = static_cast<PDH_STATUS>(0xC0000BB9u);
inline constexpr PDH_STATUS PDH_CSTATUS_NO_INSTANCE = static_cast<PDH_STATUS>(0x800007D1u);
inline constexpr PDH_STATUS PDH_CSTATUS_BAD_COUNTERNAME = static_cast<PDH_STATUS>(0xC0000BC0u);
inline constexpr PDH_STATUS PDH_INVALID_DATA = static_cast<PDH_STATUS>(0xC0000BC6u);
inline constexpr PDH_STATUS PDH_NO_DATA = static_cast<PDH_STATUS>(0x800007D5u);
inline constexpr PDH_STATUS PDH_INVALID_HANDLE = static_cast<PDH_STATUS>(0xC0000BBCu);

using CounterHandle = int;  // index within its query

class ICounterQuery {
 public:
  virtual ~ICounterQuery() = default;
  virtual PDH_STATUS AddCounter(const std::string& sPath, CounterHandle& hCounter) = 0;
  virtual PDH_STATUS Collect() = 0;
  // The counter's value as a 32-bit long; rates need two collections since the counter was
  // added (before that: PDH_INVALID_DATA).
  virtual PDH_STATUS GetLong(CounterHandle hCounter, int32_t& lValue) = 0;
};

// A real-time query on this machine's /proc (nullptr only when /proc cannot be read).
std::unique_ptr<ICounterQuery> OpenCounterQuery();

}  // namespace wdx
