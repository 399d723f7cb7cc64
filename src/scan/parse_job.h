#pragma once
// Validation and the worker of a parse, shared by the parse dialog and the
// command line.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace orvane {

struct ScanParameters;
struct WorkerFlags;

inline constexpr std::string_view kMsgBadParameters = "请正确设置参数信息";
inline constexpr std::string_view kMsgWorkerBusy = "请等待其他线程执行完成";
inline constexpr std::string_view kMsgNoTaskChosen = "请选择任务文件......";
inline constexpr std::string_view kMsgDetecting = "正在自动检测算法 请稍等...";
inline constexpr std::string_view kMsgDetected = "自动检测算法完成,开始深度解析...";
inline constexpr std::string_view kMsgLoadingTask = "正在加载任务...";
inline constexpr std::string_view kMsgTaskLoaded = "加载任务结束";
inline constexpr std::string_view kMsgTaskOnSource = "任务文件不能位于源设备上";

// The parse dialog's fields as the user left them.
struct ParseRequest {
  std::string start_text;   // sectors
  std::string end_text;     // sectors
  std::string buffer_text;  // bytes
  bool fast_checked = false;
  bool deep_checked = false;
  bool version1_checked = true;
  int32_t brand = 0;  // checked brand radio, 0 for none
  bool continue_run = false;
  std::string path_text;
};

// Decimal value of an edit's text as the dialogs read it: leading digits
// with an optional sign; anything else reads as 0.
int64_t EditValue(std::string_view text);

struct StartResult {
  bool started = false;     // the parameters are set and the worker may run
  std::string warning;      // otherwise the text to log as "警告"
};

// The steps of "开始" / "继续扫描": busy check, reset, fields into the
// parameters, the refusals. Sets job_kind to 1 when it gets that far. A deep
// region is cut at the end of the source, and one that starts there refused;
// a task path on the source's medium is refused with kMsgTaskOnSource.
StartResult ValidateParseStart(const ParseRequest& request, ScanParameters& p,
                               WorkerFlags& flags);

// What the parse worker tells the window around it besides the sink.
struct ParseJobHooks {
  std::function<void(std::string_view)> status_line;  // line 1040 of the dialog
  std::function<void()> clear_list;                   // empty the recording list
  std::function<void(int32_t pages)> pages_known;     // page bar: total, current 0
  std::function<void(std::string_view)> log_info;     // a "信息" log line
  std::function<void()> list_loaded;                  // refresh the recording list
  std::function<void()> close_dialog;
};

// The parse worker, in its fixed order: busy, smart value, RunParse, page
// count, page 0, not busy, dialog closed, power-off when asked for.
void RunParseJob(ScanParameters& p, WorkerFlags& flags, const ParseJobHooks& hooks);

}  // namespace orvane
