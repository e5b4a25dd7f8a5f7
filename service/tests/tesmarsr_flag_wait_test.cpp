// The worker's wait for a raised flag, driven in this process against a real registry database
// under a machine root of its own, with a second thread playing the client.
#include <gtest/gtest.h>

#include <future>
#include <memory>
#include <thread>

#include "packet/data_key.h"
#include "packet/publication.h"
#include "platform/errors.h"
#include "raised_flag_waiter.h"
#include "support/data_key_access.h"
#include "support/temporary_machine_root.h"

namespace tesmar::service::testing {
namespace {

using packet::TakeRaisedFlag;
using namespace tesmar::testing;
using namespace std::chrono_literals;

// A wait that has not returned by then is taken as one that never will.
constexpr auto kForever = 20s;

class FlagWaitTest : public ::testing::Test {
 protected:
  FlagWaitTest() {
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, packet::kDataKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                    KEY_ALL_ACCESS, nullptr, &dataKey_, nullptr);
    counter_ = std::make_shared<packet::PublicationCounter>(dataKey_);
  }
  ~FlagWaitTest() override {
    if (dataKey_) RegCloseKey(dataKey_);
  }

  // Waits on a thread of its own, so that a wait that never returns fails the test instead of
  // hanging it: the thread is let go, holding its own share of the waiter.
  std::future<std::optional<RaisedFlag>> WaitInBackground() {
    auto answer = std::make_shared<std::promise<std::optional<RaisedFlag>>>();
    std::thread([waiter = waiter_, counter = counter_, dataKey = dataKey_, answer,
                 request = request_] {
      answer->set_value(waiter->WaitForRaisedFlag(dataKey, *counter, *request));
    }).detach();
    return answer->get_future();
  }

  DWORD Serial() { return ReadDataDword(u"ProcListSerial").value_or(0); }

  TemporaryMachineRoot root_;
  HKEY dataKey_ = nullptr;
  std::shared_ptr<RaisedFlagWaiter> waiter_ = std::make_shared<RaisedFlagWaiter>();
  std::shared_ptr<packet::PublicationCounter> counter_;
  std::shared_ptr<UpdateRequest> request_ = std::make_shared<UpdateRequest>();
};

// A flag is taken only while it holds 1, whatever its type; taking it begins a numbered pass and
// reads what the flag asks for before the flag goes down, so a client that sees it lowered
// reads the pass's number after, and may write its next request.
TEST_F(FlagWaitTest, OnlyAOneIsTakenAndTakingItBeginsAPass) {
  ASSERT_NE(dataKey_, nullptr);
  packet::PublicationCounter& counter = *counter_;
  EXPECT_FALSE(TakeRaisedFlag(dataKey_, u"UpdateFlag", counter)) << "a missing value is not raised";

  WriteDataDword(u"UpdateFlag", 2);
  EXPECT_FALSE(TakeRaisedFlag(dataKey_, u"UpdateFlag", counter));
  EXPECT_EQ(ReadDataDword(u"UpdateFlag"), 2u) << "a flag that is not 1 is left as it is";
  EXPECT_EQ(Serial(), 0u) << "no pass began";

  const uint32_t one = 1;
  WriteDataValue(u"UpdateFlag", REG_BINARY, &one, sizeof one);
  std::optional<DWORD> flagWhileReading;
  EXPECT_TRUE(TakeRaisedFlag(dataKey_, u"UpdateFlag", counter,
                             [&] { flagWhileReading = ReadDataDword(u"UpdateFlag"); }));
  EXPECT_EQ(flagWhileReading, 1u);
  EXPECT_EQ(ReadDataDword(u"UpdateFlag"), 0u);
  EXPECT_EQ(Serial(), 1u) << "the pass is under way";
  EXPECT_FALSE(TakeRaisedFlag(dataKey_, u"UpdateFlag", counter)) << "lowered flags count once";
  ASSERT_EQ(counter.EndPass(), ERROR_SUCCESS);
  EXPECT_EQ(Serial(), 2u);

  const uint64_t tooLong = 1;
  WriteDataValue(u"UpdateFlag", REG_BINARY, &tooLong, sizeof tooLong);
  EXPECT_FALSE(TakeRaisedFlag(dataKey_, u"UpdateFlag", counter));

  // A service that starts again goes on after the number left, also after a pass it never
  // ended.
  WriteDataDword(u"ProcListSerial", 7);
  packet::PublicationCounter restarted(dataKey_);
  EXPECT_EQ(restarted.Published(), 8u);
  ASSERT_EQ(restarted.BeginPass(), ERROR_SUCCESS);
  EXPECT_EQ(Serial(), 9u);
}

TEST_F(FlagWaitTest, BothRaisedServeTheUpdateFirstAndKeepTheRefreshRaised) {
  WriteDataPacket(u"UpdateList", TestPacket::Made(2));
  WriteDataDword(u"RefreshFlag", 1);
  WriteDataDword(u"UpdateFlag", 1);

  std::future<std::optional<RaisedFlag>> first = WaitInBackground();
  ASSERT_EQ(first.wait_for(kForever), std::future_status::ready);
  EXPECT_EQ(first.get(), RaisedFlag::Update);
  ASSERT_NE(request_->packet, nullptr) << "the request was read with the flag";
  EXPECT_EQ(request_->packet->View().RecordCount(), 2u);
  EXPECT_EQ(ReadDataDword(u"UpdateFlag"), 0u);
  EXPECT_EQ(ReadDataDword(u"RefreshFlag"), 1u);

  std::future<std::optional<RaisedFlag>> second = WaitInBackground();
  ASSERT_EQ(second.wait_for(kForever), std::future_status::ready);
  EXPECT_EQ(second.get(), RaisedFlag::Refresh);
  EXPECT_EQ(ReadDataDword(u"RefreshFlag"), 0u);
}

// The request of a client that raised its flag while the worker was busy elsewhere, before it
// came back to wait, is served with no further write by anyone.
TEST_F(FlagWaitTest, FlagRaisedWhileNotWaitingIsServedWithoutAnotherWrite) {
  WriteDataDword(u"RefreshFlag", 1);
  std::future<std::optional<RaisedFlag>> wait = WaitInBackground();
  ASSERT_EQ(wait.wait_for(kForever), std::future_status::ready);
  EXPECT_EQ(wait.get(), RaisedFlag::Refresh);
}

TEST_F(FlagWaitTest, FlagRaisedDuringTheWaitEndsItAndOtherValuesDoNot) {
  WriteDataDword(u"UpdateFlag", 2);
  std::future<std::optional<RaisedFlag>> wait = WaitInBackground();
  // Changes that raise nothing: the worker looks and waits again.
  WriteDataDword(u"RefreshFlag", 0);
  WriteDataDword(u"UpdateFlag", 3);
  EXPECT_EQ(wait.wait_for(300ms), std::future_status::timeout);

  std::thread client([] { WriteDataDword(u"RefreshFlag", 1); });
  client.join();
  ASSERT_EQ(wait.wait_for(kForever), std::future_status::ready);
  EXPECT_EQ(wait.get(), RaisedFlag::Refresh);
  EXPECT_EQ(ReadDataDword(u"UpdateFlag"), 3u);
}

// The service's stop ends the wait of a worker that has nothing to do.
TEST_F(FlagWaitTest, StopEndsTheWaitWithoutAFlag) {
  std::future<std::optional<RaisedFlag>> wait = WaitInBackground();
  waiter_->Stop();
  ASSERT_EQ(wait.wait_for(kForever), std::future_status::ready);
  EXPECT_EQ(wait.get(), std::nullopt);
}

}  // namespace
}  // namespace tesmar::service::testing
