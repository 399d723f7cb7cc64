#include "scan/status_texts.h"

#include "device/format_text.h"

namespace orvane {

std::string ExportTotalsText(const ExportTotals& t, int64_t elapsed) {
  std::string text = "[" + FormatSize(t.total_size) + " / " + std::to_string(t.total_count) + "]";
  if (t.done_size == 0 && t.done_count == 0) return text;
  text += "  [" + FormatSize(t.done_size) + " / " + std::to_string(t.done_count) + "]";
  if (elapsed > 0) text += "  [" + FormatSize(t.done_size / elapsed) + "/s]";
  return text;
}

std::string LogTimeText(std::time_t when) {
  std::tm local{};
  if (!localtime_r(&when, &local)) return {};
  char buf[64];
  if (std::strftime(buf, sizeof buf, "%Y-%m-%d %H-%M-%S", &local) == 0) return {};
  return buf;
}

std::string LogExportLine(std::string_view type, std::string_view time, std::string_view text) {
  std::string line;
  line.reserve(type.size() + time.size() + text.size() + 4);
  line.append(type).append("\t").append(time).append("\t").append(text).append("\r\n");
  return line;
}

}  // namespace orvane
