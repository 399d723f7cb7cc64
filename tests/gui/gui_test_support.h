#pragma once
// What every widget test needs: a main frame whose dialogs open without a
// nested event loop, and looks at the log.

#include <QApplication>
#include <QDialog>
#include <QTableWidget>
#include <QTest>
#include <fstream>
#include <memory>
#include <string>

#include "log_view.h"
#include "main_frame.h"
#include "scan/task_head.h"

namespace orvane::gui::test {

inline std::unique_ptr<CMainFrame> MakeFrame() {
  auto frame = std::make_unique<CMainFrame>();
  frame->show_modal = [](QDialog* d) { d->show(); };
  frame->resize(1200, 800);
  frame->show();
  return frame;
}

inline QString LastLog(CMainFrame& f, int column = 2) {
  CLogView* log = f.log_view();
  if (log->rowCount() == 0) return {};
  return log->item(log->rowCount() - 1, column)->text();
}

inline bool LogHas(CMainFrame& f, const QString& text) {
  CLogView* log = f.log_view();
  for (int r = 0; r < log->rowCount(); ++r)
    if (log->item(r, 2)->text() == text) return true;
  return false;
}

inline int LogRows(CMainFrame& f) { return f.log_view()->rowCount(); }

// A task file of only its head, as a scan left it at `position`.
inline void WriteTaskHead(const std::string& path, int32_t mode, int32_t brand, int64_t position) {
  TaskHead h;
  h.file_length = kTaskHeadSize;
  h.scan_position = position;
  h.region_end = 4096 * 512;
  h.buffer = 1048576;
  h.mode = mode;
  h.brand = brand;
  h.version = 2;
  h.time_kind = 1;
  uint8_t bytes[kTaskHeadSize];
  h.Encode(bytes);
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

}  // namespace orvane::gui::test
