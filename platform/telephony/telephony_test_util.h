// Test helpers of the telephony layer: a sink that records the events it is given, and a
// fixture with an initialised telephony object over a temporary working folder, whose rings
// take no wall-clock time (a fake clock is installed; tests that need real time say so).
//
// Threading: the sink is called on the notification thread and read by the test thread.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/fake_clock.h"
#include "platform/telephony/telephony.h"
#include "tests/support/temp_folder.h"

namespace wdx::test {

class CEventLog final : public ITelEventSink {
 public:
  // iDelayMs: a slow sink, that takes this long over each event before it has it.
  explicit CEventLog(int iDelayMs = 0) : m_iDelayMs(iDelayMs) {}

  HRESULT Event(const STelEvent& oEvent) override {
    if (m_iDelayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(m_iDelayMs));
    std::lock_guard<std::mutex> oGuard(m_oLock);
    m_aEvents.push_back(oEvent);
    m_aThreads.push_back(std::this_thread::get_id());
    m_oChanged.notify_all();
    return S_OK;
  }
  std::vector<int> States() const {
    std::lock_guard<std::mutex> oGuard(m_oLock);
    std::vector<int> aStates;
    for (const STelEvent& oEvent : m_aEvents) aStates.push_back(oEvent.m_iCallState);
    return aStates;
  }
  std::vector<STelEvent> Events() const {
    std::lock_guard<std::mutex> oGuard(m_oLock);
    return m_aEvents;
  }
  std::vector<std::thread::id> Threads() const {
    std::lock_guard<std::mutex> oGuard(m_oLock);
    return m_aThreads;
  }
  // Waits (generously) until uCount events have arrived.
  bool WaitForCount(size_t uCount) const {
    std::unique_lock<std::mutex> oGuard(m_oLock);
    return m_oChanged.wait_for(oGuard, std::chrono::seconds(30),
                               [&] { return m_aEvents.size() >= uCount; });
  }

 private:
  const int m_iDelayMs;
  mutable std::mutex m_oLock;
  mutable std::condition_variable m_oChanged;
  std::vector<STelEvent> m_aEvents;
  std::vector<std::thread::id> m_aThreads;
};

class CTelephonyFixture : public ::testing::Test {
 protected:
  explicit CTelephonyFixture(bool bFakeClock = true) : m_bFakeClock(bFakeClock) {}

  void SetUp() override {
    if (m_bFakeClock) SetClockForTesting(&m_oClock);
    ASSERT_EQ(CreateTelephony(m_oFolder.Path(), m_pTelephony), S_OK);
    ASSERT_EQ(m_pTelephony->Initialize(), S_OK);
    ASSERT_EQ(m_pTelephony->Advise(&m_oEvents, m_uCookie), S_OK);
    ASSERT_EQ(m_pTelephony->SetEventFilter(TE_CALLNOTIFICATION | TE_CALLSTATE | TE_DIGITEVENT), S_OK);
    std::vector<std::shared_ptr<ITelAddress>> aAddresses;
    ASSERT_EQ(m_pTelephony->EnumerateAddresses(aAddresses), S_OK);
    ASSERT_EQ(aAddresses.size(), 1u);
    m_pAddress = aAddresses[0];
  }

  void TearDown() override {
    m_pAddress.reset();
    m_pTelephony.reset();  // shuts down: no thread uses the clock afterwards
    if (m_bFakeClock) SetClockForTesting(nullptr);
  }

  HRESULT Create(const std::string& sNumber, std::shared_ptr<ITelCall>& pCall) {
    return m_pAddress->CreateCall(sNumber, LINEADDRESSTYPE_PHONENUMBER, TAPIMEDIATYPE_AUDIO, pCall);
  }

  // A call to sNumber, connected; null (with a failed expectation) when it did not connect.
  std::shared_ptr<ITelCall> Dial(const std::string& sNumber) {
    std::shared_ptr<ITelCall> pCall;
    EXPECT_EQ(Create(sNumber, pCall), S_OK) << sNumber;
    if (pCall == nullptr) return nullptr;
    const HRESULT hr = pCall->Connect(true);
    EXPECT_EQ(hr, S_OK) << sNumber << ": " << DescribeTelephonyResult(hr);
    return hr == S_OK ? pCall : nullptr;
  }

  const bool m_bFakeClock;
  CFakeClock m_oClock;
  CTempFolder m_oFolder;
  CEventLog m_oEvents;
  uint32_t m_uCookie = 0;
  std::unique_ptr<ITelephony> m_pTelephony;
  std::shared_ptr<ITelAddress> m_pAddress;
};

}  // namespace wdx::test
