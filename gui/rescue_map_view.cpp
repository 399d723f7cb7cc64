#include "rescue_map_view.h"

#include <QFontMetrics>
#include <QPainter>

#include "imaging/rescue_map.h"

namespace orvane::gui {

namespace {

QColor StatusColor(char status) {
  switch (status) {
    case kAreaFinished:
      return QColor(0x2e, 0xa0, 0x43);
    case kAreaNonTrimmed:
      return QColor(0xe8, 0xb9, 0x1a);
    case kAreaNonScraped:
      return QColor(0x3b, 0x7d, 0xd8);
    case kAreaBadSector:
      return QColor(0xd6, 0x2d, 0x20);
    default:
      return QColor(0x9a, 0x9a, 0x9a);
  }
}

QString PhaseText(char status) {
  switch (status) {
    case kAreaNonTried:
      return "复制";
    case kAreaNonTrimmed:
      return "修剪";
    case kAreaNonScraped:
      return "逐扇区读取";
    case kAreaBadSector:
      return "重试";
    default:
      return "结束";
  }
}

struct LegendEntry {
  char status;
  const char* text;
};
constexpr LegendEntry kLegend[] = {{kAreaFinished, "已读出"},
                                   {kAreaNonTried, "未读"},
                                   {kAreaNonTrimmed, "待修剪"},
                                   {kAreaNonScraped, "待逐扇区读取"},
                                   {kAreaBadSector, "坏扇区"}};

}  // namespace

RescueMapView::RescueMapView(QWidget* parent) : QWidget(parent) {
  setMinimumSize(kColumns * 8, kRows * 8 + 56);
  picture_.cells.assign(kColumns * kRows, kAreaNonTried);
}

RescueMapView::Picture RescueMapView::Draw(const RescueMap& map) {
  Picture p;
  p.cells = CellStatuses(map, kColumns * kRows);
  const int64_t range = map.end() - map.begin();
  const double rescued = range > 0 ? 100.0 * map.Bytes(kAreaFinished) / range : 100.0;
  const QString phase =
      map.current_status == kAreaFinished
          ? PhaseText(kAreaFinished)
          : QString("%1 第 %2 遍").arg(PhaseText(map.current_status)).arg(map.current_pass);
  p.caption = QString("已读出 %1%   %2   坏区 %3 个")
                  .arg(rescued, 0, 'f', 2)
                  .arg(phase)
                  .arg(map.Count(kAreaBadSector));
  return p;
}

void RescueMapView::Show(const Picture& picture) {
  picture_ = picture;
  update();
}

void RescueMapView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  // The share rescued and the pass are what a technician looks for from
  // across the bench: larger and bold, above the legend.
  QFont caption_font = font();
  caption_font.setBold(true);
  caption_font.setPointSizeF(caption_font.pointSizeF() * 1.4);
  const int caption_line = QFontMetrics(caption_font).height() + 6;
  painter.setFont(caption_font);
  painter.drawText(QRect(0, 0, width(), caption_line), Qt::AlignLeft | Qt::AlignVCenter,
                   picture_.caption);
  painter.setFont(font());
  const int line = fontMetrics().height() + 4;
  // The legend in one row under the caption.
  int x = 0;
  for (const LegendEntry& e : kLegend) {
    painter.fillRect(QRect(x, caption_line + 3, line - 8, line - 8), StatusColor(e.status));
    x += line - 4;
    const QString text = QString::fromUtf8(e.text);
    painter.drawText(QRect(x, caption_line, width() - x, line), Qt::AlignLeft | Qt::AlignVCenter,
                     text);
    x += fontMetrics().horizontalAdvance(text) + 14;
  }
  const int top = caption_line + line + 2;
  const double w = static_cast<double>(width()) / kColumns;
  const double h = static_cast<double>(height() - top) / kRows;
  for (int i = 0; i < static_cast<int>(picture_.cells.size()); ++i) {
    const int c = i % kColumns, r = i / kColumns;
    const QRectF cell(c * w, top + r * h, w - 1, h - 1);
    painter.fillRect(cell, StatusColor(picture_.cells[static_cast<size_t>(i)]));
  }
}

}  // namespace orvane::gui
