// report.html: one self-contained page (no scripts, no external files) that
// reads on screen and prints on A4.

#include <cstdio>

#include "device/format_text.h"
#include "recordings/clock_offset.h"
#include "recordings/export_evidence.h"
#include "scan/scan_parameters.h"

namespace orvane {

namespace {

constexpr const char* kStyle = R"(<style>
@page { size: A4; margin: 14mm 12mm; }
body { font-family: "WenQuanYi Micro Hei", "Noto Sans CJK SC", sans-serif; font-size: 10pt; color: #000; margin: 1em; }
h1 { font-size: 15pt; margin: 0 0 .4em; }
h2 { font-size: 12pt; margin: 1.2em 0 .4em; border-bottom: 1px solid #888; }
table { border-collapse: collapse; width: 100%; margin-bottom: .6em; }
th, td { border: 1px solid #999; padding: 2px 4px; text-align: left; vertical-align: top; }
th { background: #eee; }
thead { display: table-header-group; }
tr { page-break-inside: avoid; }
td.num { text-align: right; white-space: nowrap; }
.hash, .frag { font-family: "DejaVu Sans Mono", monospace; font-size: 7.5pt; word-break: break-all; }
table.facts th { width: 28%; }
@media print { body { margin: 0; } h2 { page-break-after: avoid; } }
</style>)";

std::string Escape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

class Page {
 public:
  explicit Page(std::FILE* out) : out_(out) {}
  Page& operator<<(std::string_view text) {
    ok_ = ok_ && std::fwrite(text.data(), 1, text.size(), out_) == text.size();
    return *this;
  }
  void Fact(std::string_view name, std::string_view value, bool hash = false) {
    *this << "<tr><th>" << Escape(name) << "</th><td" << (hash ? " class=\"hash\"" : "") << ">"
          << Escape(value) << "</td></tr>\n";
  }
  bool ok() const { return ok_; }

 private:
  std::FILE* out_;
  bool ok_ = true;
};

std::string Bytes(int64_t n) {
  const std::string shown = FormatSize(n);
  return std::to_string(n) + " B" + (shown.empty() ? "" : " (" + shown + ")");
}

std::string Duration(int64_t seconds) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%lld s (%lld:%02lld:%02lld)", static_cast<long long>(seconds),
                static_cast<long long>(seconds / 3600), static_cast<long long>(seconds / 60 % 60),
                static_cast<long long>(seconds % 60));
  return buf;
}

std::string TimeOr(const std::optional<int64_t>& t, int64_t shift = 0) {
  return t ? SecondsTimeText(*t - shift) : std::string("-");
}

}  // namespace

bool WriteReportHtml(const ExportEvidence& e, const EvidenceSummary& s, const std::string& path) {
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (!out) return false;
  Page page(out);
  const uint8_t kind = e.head.time_kind;
  const bool corrected = e.clock_offset.has_value();
  const int64_t offset = e.clock_offset.value_or(0);

  page << "<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\">"
       << "<title>" << Escape(e.program) << " export report</title>\n"
       << kStyle << "</head><body>\n"
       << "<h1>" << Escape(e.program) << " " << Escape(e.version) << " export report</h1>\n";

  page << "<h2>Summary</h2>\n<table class=\"facts\" id=\"summary\">\n";
  page.Fact("Recordings", std::to_string(e.files.size()));
  std::string channels;
  for (const auto& [channel, count] : s.per_channel)
    channels += (channels.empty() ? "" : ", ") + std::string("channel ") + std::to_string(channel) +
                ": " + std::to_string(count);
  page.Fact("Recordings per channel", channels.empty() ? "-" : channels);
  page.Fact("Total duration", Duration(s.total_duration));
  page.Fact("Total size", Bytes(s.total_size));
  page.Fact("Bytes written", Bytes(s.total_written));
  page.Fact("First time (recorder)", TimeOr(s.first));
  page.Fact("Last time (recorder)", TimeOr(s.last));
  if (corrected) {
    page.Fact("First time (corrected)", TimeOr(s.first, offset));
    page.Fact("Last time (corrected)", TimeOr(s.last, offset));
  }
  page << "</table>\n";

  page << "<h2>Export</h2>\n<table class=\"facts\" id=\"export\">\n";
  page.Fact("Program", e.program + " " + e.version);
  page.Fact("Exported (local)", LocalTimeText(e.exported_at));
  page.Fact("Exported (UTC)", UtcTimeText(e.exported_at));
  page.Fact("Export folder", e.base_folder);
  page.Fact("Recorder clock offset", corrected ? ClockOffsetText(offset) +
                                                     " (recorder ahead of true time; corrected = "
                                                     "recorder - offset)"
                                               : std::string("not set"));
  page << "</table>\n";

  page << "<h2>Source device</h2>\n<table class=\"facts\" id=\"source\">\n";
  page.Fact("Model", e.source.name);
  page.Fact("Serial", e.source.serial);
  page.Fact("Size", Bytes(e.source.size));
  page.Fact("Path", e.source.OpenPath());
  page.Fact("Image SHA-256", e.source_sha256.empty() ? "unknown" : e.source_sha256, true);
  page.Fact("Image MD5", e.source_md5.empty() ? "unknown" : e.source_md5, true);
  page << "</table>\n";

  page << "<h2>Task</h2>\n<table class=\"facts\" id=\"task\">\n";
  page.Fact("Task file", e.task_path);
  page.Fact("Task file SHA-256", e.task_sha256, true);
  page.Fact("Brand", std::to_string(e.head.brand) + " (" + BrandSlug(e.head.brand) + ")");
  page.Fact("Mode", std::to_string(e.head.mode) + (e.head.mode == 1   ? " (fast)"
                                                   : e.head.mode == 2 ? " (deep)"
                                                                      : ""));
  page.Fact("Version", std::to_string(e.head.version));
  page.Fact("Region", "scan position " + std::to_string(e.head.scan_position) + ", end " +
                          std::to_string(e.head.region_end));
  page.Fact("Buffer", std::to_string(e.head.buffer));
  page.Fact("Smart value", std::to_string(e.head.smart_value));
  page.Fact("Time kind", std::to_string(e.head.time_kind));
  page << "</table>\n";

  page << "<h2>Recordings</h2>\n<table id=\"recordings\"><thead><tr>"
       << "<th>Index</th><th>Channel</th><th>Start (recorder)</th><th>End (recorder)</th>"
       << (corrected ? "<th>Start (corrected)</th><th>End (corrected)</th>" : "")
       << "<th>Size</th><th>Fragments</th><th>Found by</th><th>Unreadable</th>"
       << "<th>File</th><th>SHA-256</th></tr></thead>\n<tbody>\n";
  for (const EvidenceFile& f : e.files) {
    if (!f.entry) continue;
    const RecordingEntry& r = *f.entry;
    page << "<tr><td class=\"num\">" << std::to_string(f.index) << "</td><td class=\"num\">"
         << std::to_string(r.channel) << "</td><td>" << Escape(FormatTimeText(kind, r.start_time))
         << "</td><td>" << Escape(FormatTimeText(kind, r.end_time)) << "</td>";
    if (corrected)
      page << "<td>" << Escape(CorrectedTimeText(kind, r.start_time, offset)) << "</td><td>"
           << Escape(CorrectedTimeText(kind, r.end_time, offset)) << "</td>";
    page << "<td class=\"num\">" << std::to_string(r.size) << "</td><td class=\"num\">"
         << std::to_string(r.fragments.size()) << "</td><td>" << FoundByText(r.found_by)
         << "</td><td class=\"num\">" << std::to_string(f.file.loss.unreadable) << "</td><td>"
         << Escape(RelativeToBase(e, f.file.path)) << (f.file.complete ? "" : " (incomplete)")
         << "</td><td class=\"hash\">" << Escape(f.file.sha256) << "</td></tr>\n";
  }
  page << "</tbody></table>\n";

  // Fragment lists can be long (a grouped recording may have thousands), so
  // they follow the table instead of swelling its rows.
  page << "<h2>Fragments (offset:length in bytes)</h2>\n<table id=\"fragments\"><thead><tr>"
       << "<th>Index</th><th>Fragments</th></tr></thead>\n<tbody>\n";
  for (const EvidenceFile& f : e.files) {
    if (!f.entry) continue;
    page << "<tr><td class=\"num\">" << std::to_string(f.index) << "</td><td class=\"frag\">";
    bool first = true;
    for (const FragmentExtent& x : f.entry->fragments) {
      page << (first ? "" : " ") << std::to_string(x.offset) << ":" << std::to_string(x.length);
      first = false;
    }
    page << "</td></tr>\n";
  }
  page << "</tbody></table>\n</body></html>\n";
  return std::fclose(out) == 0 && page.ok();
}

}  // namespace orvane
