#pragma once
// The recorder's clock error as the technician measured it, and recorder
// times corrected by it. A positive offset means the recorder's clock ran
// ahead of the true time: corrected = recorder time - offset. File names
// keep the recorder's times, so that they match the recorder's own lists.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "scan/task_head.h"

namespace orvane {

// Captions of the corrected-time columns beside the recorder's.
inline constexpr const char* kCorrectedStartCaption = "校正开始时间";
inline constexpr const char* kCorrectedEndCaption = "校正结束时间";

// "+HH:MM:SS", "-HH:MM:SS" or "HH:MM:SS" (minutes and seconds below 60, up
// to 99999 hours) as seconds; nothing for any other text.
std::optional<int64_t> ParseClockOffset(std::string_view text);

// "+HH:MM:SS" / "-HH:MM:SS".
std::string ClockOffsetText(int64_t seconds);

// Seconds since 1970-01-01 of a time word read by the task's time kind, its
// fields taken as a calendar time; nothing for an unknown kind. Fields out
// of their range roll over into the next unit.
std::optional<int64_t> TimeWordSeconds(uint8_t kind, uint32_t word);

// The calendar fields of seconds since 1970-01-01.
CivilTime SecondsCivilTime(int64_t seconds);

// "%04d-%02d-%02d %02d-%02d-%02d" of seconds since 1970-01-01.
std::string SecondsTimeText(int64_t seconds);

// The time word's text corrected by the offset; empty for an unknown kind.
std::string CorrectedTimeText(uint8_t kind, uint32_t word, int64_t offset);

}  // namespace orvane
