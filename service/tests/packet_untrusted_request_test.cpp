// Requests are untrusted: any program that may write the Data key writes UpdateList. The merge
// reads nothing outside the value and takes implausible fields as asking for nothing.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "engine_test_support.h"
#include "platform/process.h"
#include "platform/process_source.h"

namespace tesmar::service::testing {
namespace {

class UntrustedRequestTest : public EngineTest {
 protected:
  UntrustedRequestTest() : EngineTest(8) {
    machine_->AddProcess(u"a.exe", 1000, 2);
    machine_->AddProcess(u"b.exe", 2000, 2);
    machine_->AddProcess(u"c.exe", 3000, 2);
  }

  static void Watch(packet::ProcessRecord& record, uint32_t mask) {
    record.Watched = 1;
    record.ProcAffinity = mask;
    record.ThreadAffinity[0] = record.ThreadAffinity[1] = mask;
  }

  PacketCopy Apply(const PacketCopy& request) {
    registry_.WriteUpdateList(request);
    ApplyUpdateList(registry_.DataKey());
    return registry_.ProcList();
  }
};

TEST_F(UntrustedRequestTest, AValueShorterThanItsCountIsMergedForItsCompleteRecordsOnly) {
  PacketCopy request = registry_.Build();
  ASSERT_EQ(request.RecordCount(), 4u);
  Watch(request.RecordOf(1000), 0x2);
  Watch(request.RecordOf(2000), 0x4);
  Watch(request.RecordOf(3000), 0x8);
  // The value ends inside c.exe's record, just before its Watched mark; the header still
  // claims every record and more.
  request.Header().ProcessCount = 1000000;
  request.Resize(packet::PacketSize(3) + offsetof(packet::ProcessRecord, Watched));

  PacketCopy published = Apply(request);
  EXPECT_EQ(machine_->ThreadById(1000).mask, 0x2u);
  EXPECT_EQ(machine_->ThreadById(2000).mask, 0x4u);
  EXPECT_EQ(machine_->ThreadById(3000).mask, 0xFFu);
  EXPECT_EQ(published.RecordOf(3000).Watched, 0u);
  EXPECT_EQ(published.RecordCount(), 4u) << "the published count is the live one";
}

TEST_F(UntrustedRequestTest, ASignedValueWithoutACompleteHeaderAppliesNothing) {
  PacketCopy request = registry_.Build();
  request.Resize(20);
  PacketCopy published = Apply(request);
  EXPECT_EQ(published.RecordCount(), 4u);
  for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(published.Record(i).Watched, 0u);
}

TEST_F(UntrustedRequestTest, ANameWithoutANulIsComparedWithinItsUnitsOnly) {
  machine_->AddProcess(std::u16string(31, u'n'), 4000, 1);
  PacketCopy request = registry_.Build();
  packet::ProcessRecord& record = request.RecordOf(4000);
  Watch(record, 0x2);
  // 32 units and no NUL: the name is all 32 of them, so it is not the live 31-unit name that
  // shares its first 31 (a comparison that cut it to 31 units would take it for that one).
  for (auto& unit : record.ProcName) unit = u'n';

  PacketCopy published = Apply(request);
  EXPECT_EQ(published.RecordOf(4000).Watched, 0u);
  EXPECT_EQ(machine_->ThreadById(4000).mask, 0xFFu);

  // A name that fills its 31 units and has its NUL in the last one does match.
  record.ProcName[31] = u'\0';
  published = Apply(request);
  EXPECT_EQ(published.RecordOf(4000).Watched, 1u);
  EXPECT_EQ(machine_->ThreadById(4000).mask, 0x2u);
}

// A count outside -1..256 would put the process's settings on every thread: the record is
// refused, and the process left alone and unwatched.
TEST_F(UntrustedRequestTest, ARecordWithAThreadCountOutsideTheValidRangeIsRefused) {
  for (int32_t threadCount : {-5, -2, 257, 100000, INT32_MIN}) {
    SCOPED_TRACE(threadCount);
    PacketCopy request = registry_.Build();
    packet::ProcessRecord& record = request.RecordOf(1000);
    Watch(record, 0x3);
    record.PriorityClass = HIGH_PRIORITY_CLASS;
    record.ThreadCount = threadCount;

    PacketCopy published = Apply(request);
    EXPECT_EQ(machine_->ThreadById(1000).mask, 0xFFu);
    EXPECT_EQ(machine_->ThreadById(1001).mask, 0xFFu);
    EXPECT_EQ(machine_->ThreadById(1000).scheduling.nice, 0);
    EXPECT_EQ(published.RecordOf(1000).Watched, 0u);
    EXPECT_EQ(published.RecordOf(1000).ThreadCount, 2);
  }
}

TEST_F(UntrustedRequestTest, AWatchedMarkOtherThanOneAppliesNothing) {
  PacketCopy request = registry_.Build();
  Watch(request.RecordOf(1000), 0x2);
  request.RecordOf(1000).Watched = 2;
  PacketCopy published = Apply(request);
  EXPECT_EQ(published.RecordOf(1000).Watched, 0u);
  EXPECT_EQ(machine_->ThreadById(1000).mask, 0xFFu);
}

}  // namespace
}  // namespace tesmar::service::testing
