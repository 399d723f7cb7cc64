#pragma once
// What a path names, asked before anything is opened: a named pipe blocks
// its opener until a writer comes, and a directory opens but holds no bytes,
// so only regular files and block devices are ever opened as a source or a
// task file.

#include <string>

namespace orvane {

enum class PathKind {
  Missing,  // nothing there (or it cannot be looked at)
  Medium,   // a regular file or a block device, symbolic links followed
  Other,    // a directory, a pipe, a socket, a character device
};

PathKind KindOfPath(const std::string& path);

inline bool IsMediumPath(const std::string& path) { return KindOfPath(path) == PathKind::Medium; }

}  // namespace orvane
