#pragma once
// Telling a task file from any other file before loading it: a list that
// stays empty says nothing about why.

#include <string>
#include <string_view>

namespace orvane {

inline constexpr std::string_view kMsgTaskInvalid = "任务文件无效";

enum class TaskFileCheck {
  Unreadable,  // cannot be opened as a file (the loader says so itself)
  Invalid,     // too short for a head, or a head no parse writes
  Valid,
};

// Reads the head of `path`: a task begins with a whole head naming a known
// brand, mode and version.
TaskFileCheck CheckTaskFile(const std::string& path);

}  // namespace orvane
