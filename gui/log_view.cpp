#include "log_view.h"

#include <QContextMenuEvent>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QMenu>

#include <ctime>

#include "gui_thread.h"
#include "scan/status_texts.h"

namespace orvane::gui {

CLogView::CLogView(QWidget* parent) : QTableWidget(0, 3, parent) {
  setObjectName("log_view");
  setHorizontalHeaderLabels({"类型", "时间", "描述"});
  setColumnWidth(0, 100);
  setColumnWidth(1, 160);
  horizontalHeader()->setStretchLastSection(true);
  verticalHeader()->setVisible(false);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  setShowGrid(true);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setWordWrap(false);
  ask_save_path = [this] {
    return QFileDialog::getSaveFileName(this, QString(), "日志.txt",
                                        "TXT Files (*.txt);;All Files (*.*)");
  };
}

void CLogView::AddLogLine(const QString& type, const QString& text) {
  const int row = row_counter_;
  insertRow(row);
  setItem(row, 0, new QTableWidgetItem(type));
  setItem(row, 1, new QTableWidgetItem(Q(LogTimeText(std::time(nullptr)))));
  setItem(row, 2, new QTableWidgetItem(text));
  // The bottom, not just "visible": a partly shown last line hides the newest text.
  scrollToBottom();
  ++row_counter_;
}

void CLogView::ClearLog() {
  setRowCount(0);
  row_counter_ = 0;
}

QString CLogView::LastText() const {
  if (rowCount() == 0 || !item(rowCount() - 1, 2)) return {};
  return item(rowCount() - 1, 2)->text();
}

bool CLogView::ExportLogTo(const QString& path) const {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  for (int r = 0; r < rowCount(); ++r) {
    auto text = [&](int c) { return item(r, c) ? S(item(r, c)->text()) : std::string(); };
    const std::string line = LogExportLine(text(0), text(1), text(2));
    file.write(line.data(), static_cast<qint64>(line.size()));
  }
  return true;
}

void CLogView::ExportLog() {
  const QString path = ask_save_path ? ask_save_path() : QString();
  if (path.isEmpty()) return;
  ExportLogTo(path);  // a file that cannot be created is given up silently
}

void CLogView::contextMenuEvent(QContextMenuEvent* event) {
  // Only a row offers the menu, so an empty log cannot be exported.
  if (!itemAt(viewport()->mapFromGlobal(event->globalPos()))) return;
  QMenu menu(this);
  menu.addAction("清除日志", this, &CLogView::ClearLog);
  menu.addAction("导出日志", this, &CLogView::ExportLog);
  menu.exec(event->globalPos());
}

}  // namespace orvane::gui
