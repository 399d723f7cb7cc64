#pragma once
// The notification sink: the one channel through which workers report to the
// user. Calls are synchronous: the sink has handled a notification when the
// call returns, so payloads may live on the caller's stack.

#include <cstdint>
#include <string>
#include <string_view>

namespace orvane {

struct ScanProgress;
struct ExportTotals;

enum class NotifyCode : int32_t {
  Status = 50001,    // text, logged as "信息"
  Info = 50002,      // text, logged as "信息"
  Error = 50003,     // text, logged as "错误"
  Found = 50004,     // ScanProgress
  Range = 50005,     // int64 step count
  Position = 50006,  // int64 step index
};

class NotifySink {
 public:
  virtual ~NotifySink() = default;
  // Codes Status, Info and Error.
  virtual void Text(NotifyCode code, std::string_view text) = 0;
  virtual void Found(const ScanProgress& progress) = 0;
  virtual void Range(int64_t steps) = 0;
  virtual void Position(int64_t step) = 0;
  // The export's four totals; sent beside the ordinary codes.
  virtual void Totals(const ExportTotals& totals) = 0;
};

// A sink that drops everything; the default until the program installs one.
class NullSink final : public NotifySink {
 public:
  void Text(NotifyCode, std::string_view) override {}
  void Found(const ScanProgress&) override {}
  void Range(int64_t) override {}
  void Position(int64_t) override {}
  void Totals(const ExportTotals&) override {}
};

// The process-wide sink. Set once at start-up (or per test); never null.
void SetNotifySink(NotifySink* sink);
NotifySink& Sink();

// Installs a sink for one scope and restores the previous one afterwards.
class ScopedNotifySink {
 public:
  explicit ScopedNotifySink(NotifySink* sink);
  ~ScopedNotifySink();
  ScopedNotifySink(const ScopedNotifySink&) = delete;
  ScopedNotifySink& operator=(const ScopedNotifySink&) = delete;

 private:
  NotifySink* previous_;
};

inline void PostStatus(std::string_view text) { Sink().Text(NotifyCode::Status, text); }
inline void PostInfo(std::string_view text) { Sink().Text(NotifyCode::Info, text); }
inline void PostError(std::string_view text) { Sink().Text(NotifyCode::Error, text); }
void PostFound(const ScanProgress& progress);
inline void PostRange(int64_t steps) { Sink().Range(steps); }
inline void PostPosition(int64_t step) { Sink().Position(step); }

// Message texts shared by several modules.
inline constexpr std::string_view kMsgOpenSourceFailed = "打开源设备失败";
inline constexpr std::string_view kMsgReadFailed = "读取设备失败,可能存在坏道";
inline constexpr std::string_view kMsgOpenTaskFailed = "打开任务文件失败";
inline constexpr std::string_view kMsgCreateTaskFailed = "创建任务文件失败";

}  // namespace orvane
