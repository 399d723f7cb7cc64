// The bound of task bodies read as one page: the record that makes
// 20,000,000 ends the reading, once, with a message.

#include "scan/page_quota.h"

#include <gtest/gtest.h>

#include "synth/test_support.h"

namespace orvane {
namespace {

TEST(PageQuota, TheRecordThatFillsThePageStopsTheReaderWithOneMessage) {
  synth::CapturingSink sink;
  ScopedNotifySink scope(&sink);
  std::atomic<int32_t> stop{0};
  PageQuota quota(stop);
  for (int64_t k = 1; k < kRecordsPerPage; ++k) quota.Keep();
  EXPECT_FALSE(quota.full());
  EXPECT_EQ(stop.load(), 0);
  EXPECT_FALSE(sink.Has(kMsgTaskPageFull));
  quota.Keep();
  EXPECT_TRUE(quota.full());
  EXPECT_EQ(stop.load(), 1);
  EXPECT_EQ(sink.texts(NotifyCode::Error), std::vector<std::string>{std::string(kMsgTaskPageFull)});
}

}  // namespace
}  // namespace orvane
