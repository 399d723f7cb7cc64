#pragma once
// The bound of a task body that is read as one page (variable-length records
// or records grouped between terminators): like a page of fixed records it
// keeps at most 20,000,000 records, so that a huge or hostile task file
// cannot take more memory than a page does.

#include <atomic>
#include <cstdint>
#include <string_view>

#include "device/notify.h"
#include "scan/task_head.h"

namespace orvane {

inline constexpr std::string_view kMsgTaskPageFull = "任务记录超过20000000条,其余记录未加载";

class PageQuota {
 public:
  explicit PageQuota(std::atomic<int32_t>& stop) : stop_(stop) {}
  // Counts one record kept. The one that fills the page posts
  // kMsgTaskPageFull and sets the stop flag, as a full page does; the reader
  // then ends.
  void Keep() {
    if (++kept_ != kRecordsPerPage) return;
    PostError(kMsgTaskPageFull);
    stop_.store(1);
  }
  bool full() const { return kept_ >= kRecordsPerPage; }

 private:
  std::atomic<int32_t>& stop_;
  int64_t kept_ = 0;
};

}  // namespace orvane
