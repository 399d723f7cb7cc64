// report.csv and report.json: the same facts as report.html, for programs.

#include <cstdio>
#include <nlohmann/json.hpp>

#include "recordings/clock_offset.h"
#include "recordings/export_evidence.h"
#include "scan/scan_parameters.h"

namespace orvane {

namespace {

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

std::string FragmentsText(const RecordingEntry& entry) {
  std::string text;
  for (const FragmentExtent& f : entry.fragments) {
    if (!text.empty()) text += ' ';
    text += std::to_string(f.offset) + ":" + std::to_string(f.length);
  }
  return text;
}

std::string Corrected(const ExportEvidence& e, uint32_t word) {
  return e.clock_offset ? CorrectedTimeText(e.head.time_kind, word, *e.clock_offset)
                        : std::string();
}

bool WriteText(std::FILE* out, const std::string& text) {
  return std::fwrite(text.data(), 1, text.size(), out) == text.size();
}

// A page of recordings may be large: rows are written one at a time.
template <typename Row>
bool WriteRows(const std::string& path, const std::string& head, const std::string& tail,
               const ExportEvidence& e, Row row) {
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (!out) return false;
  bool ok = WriteText(out, head);
  for (size_t i = 0; i < e.files.size(); ++i)
    if (e.files[i].entry) ok = ok && WriteText(out, row(e.files[i], i));
  ok = ok && WriteText(out, tail);
  return std::fclose(out) == 0 && ok;
}

}  // namespace

bool WriteReportCsv(const ExportEvidence& e, const std::string& path) {
  const uint8_t kind = e.head.time_kind;
  const std::string head =
      "index,channel,start,end,start_corrected,end_corrected,size,fragment_count,fragments,"
      "found_by,unreadable,written,complete,file,sha256\r\n";
  return WriteRows(path, head, "", e, [&](const EvidenceFile& f, size_t) {
    const RecordingEntry& r = *f.entry;
    std::string line;
    for (const std::string& field :
         {std::to_string(f.index), std::to_string(r.channel), FormatTimeText(kind, r.start_time),
          FormatTimeText(kind, r.end_time), Corrected(e, r.start_time), Corrected(e, r.end_time),
          std::to_string(r.size), std::to_string(r.fragments.size()), FragmentsText(r),
          std::string(FoundByText(r.found_by)), std::to_string(f.file.loss.unreadable),
          std::to_string(f.file.written), std::string(f.file.complete ? "yes" : "no"),
          RelativeToBase(e, f.file.path), f.file.sha256}) {
      if (!line.empty()) line += ',';
      line += CsvField(field);
    }
    return line + "\r\n";
  });
}

bool WriteReportJson(const ExportEvidence& e, const EvidenceSummary& s, const std::string& path) {
  using nlohmann::json;
  const uint8_t kind = e.head.time_kind;
  auto time_or_null = [](const std::optional<int64_t>& t) {
    return t ? json(SecondsTimeText(*t)) : json(nullptr);
  };
  json per_channel = json::object();
  for (const auto& [channel, count] : s.per_channel) per_channel[std::to_string(channel)] = count;
  const std::optional<int64_t> offset = e.clock_offset;
  auto shifted = [&](const std::optional<int64_t>& t) {
    return t && offset ? std::optional<int64_t>(*t - *offset) : std::nullopt;
  };
  json doc = {
      {"program", e.program},
      {"version", e.version},
      {"exported_local", LocalTimeText(e.exported_at)},
      {"exported_utc", UtcTimeText(e.exported_at)},
      {"export_folder", e.base_folder},
      {"source",
       {{"model", e.source.name},
        {"serial", e.source.serial},
        {"size", e.source.size},
        {"path", e.source.OpenPath()},
        {"sha256", e.source_sha256.empty() ? json(nullptr) : json(e.source_sha256)},
        {"md5", e.source_md5.empty() ? json(nullptr) : json(e.source_md5)}}},
      {"parameters",
       {{"brand", e.head.brand},
        {"brand_name", BrandSlug(e.head.brand)},
        {"mode", e.head.mode},
        {"version", e.head.version},
        {"scan_position", e.head.scan_position},
        {"region_end", e.head.region_end},
        {"buffer", e.head.buffer},
        {"smart_value", e.head.smart_value},
        {"time_kind", e.head.time_kind}}},
      {"task", {{"path", e.task_path}, {"sha256", e.task_sha256}}},
      {"clock_offset", offset ? json(ClockOffsetText(*offset)) : json(nullptr)},
      {"summary",
       {{"recordings", e.files.size()},
        {"per_channel", per_channel},
        {"total_duration_seconds", s.total_duration},
        {"total_size", s.total_size},
        {"total_written", s.total_written},
        {"first", time_or_null(s.first)},
        {"last", time_or_null(s.last)},
        {"first_corrected", time_or_null(shifted(s.first))},
        {"last_corrected", time_or_null(shifted(s.last))}}},
  };
  std::string head = doc.dump(1);
  head.erase(head.rfind('}'));
  head += ",\"recordings\":[\n";
  return WriteRows(path, head, "]}\n", e, [&](const EvidenceFile& f, size_t i) {
    const RecordingEntry& r = *f.entry;
    json fragments = json::array();
    for (const FragmentExtent& x : r.fragments)
      fragments.push_back({{"offset", x.offset}, {"length", x.length}});
    json row = {{"index", f.index},
                {"channel", r.channel},
                {"start", FormatTimeText(kind, r.start_time)},
                {"end", FormatTimeText(kind, r.end_time)},
                {"size", r.size},
                {"fragment_count", r.fragments.size()},
                {"fragments", std::move(fragments)},
                {"found_by", FoundByText(r.found_by)},
                {"unreadable", f.file.loss.unreadable},
                {"written", f.file.written},
                {"complete", f.file.complete},
                {"file", RelativeToBase(e, f.file.path)},
                {"sha256", f.file.sha256}};
    if (offset) {
      row["start_corrected"] = Corrected(e, r.start_time);
      row["end_corrected"] = Corrected(e, r.end_time);
    }
    return (i ? ",\n" : "") + row.dump();
  });
}

}  // namespace orvane
