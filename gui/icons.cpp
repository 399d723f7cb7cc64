#include "icons.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include "main_frame.h"

namespace orvane::gui {
namespace {

void Disk(QPainter& p, const QRectF& r, const QColor& c) {
  p.setBrush(c);
  p.setPen(QPen(c.darker(160), 1.5));
  p.drawRoundedRect(r, 3, 3);
  p.setBrush(c.lighter(150));
  p.drawEllipse(QPointF(r.center().x(), r.center().y() - 1), r.width() * 0.28, r.height() * 0.28);
  p.setBrush(Qt::white);
  p.drawEllipse(r.center() - QPointF(0, 1), 1.5, 1.5);
}

void Badge(QPainter& p, const QColor& c, const QString& sign) {
  p.setBrush(c);
  p.setPen(QPen(Qt::white, 1.5));
  p.drawEllipse(QRectF(17, 17, 14, 14));
  p.setPen(QPen(Qt::white, 2.5, Qt::SolidLine, Qt::RoundCap));
  if (sign.contains('+')) p.drawLine(QPointF(24, 20), QPointF(24, 28));
  if (sign.contains('+') || sign.contains('-')) p.drawLine(QPointF(20, 24), QPointF(28, 24));
  if (sign.contains('>')) {
    p.drawLine(QPointF(20, 24), QPointF(28, 24));
    p.drawLine(QPointF(25, 21), QPointF(28, 24));
    p.drawLine(QPointF(25, 27), QPointF(28, 24));
  }
}

}  // namespace

QIcon CommandIcon(int id) {
  QPixmap pm(32, 32);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  const QColor blue(40, 100, 190), green(40, 150, 70), red(200, 50, 50), orange(230, 140, 30),
      grey(110, 110, 120), purple(120, 70, 170);
  switch (id) {
    case CmdOpenImage:
      Disk(p, QRectF(2, 4, 24, 22), grey);
      Badge(p, green, "+");
      break;
    case CmdRemoveImage:
      Disk(p, QRectF(2, 4, 24, 22), grey);
      Badge(p, red, "-");
      break;
    case CmdCreateImage:
      Disk(p, QRectF(2, 2, 18, 16), blue);
      Disk(p, QRectF(12, 14, 18, 16), grey);
      break;
    case CmdRefreshDevices: {
      p.setPen(QPen(green, 4, Qt::SolidLine, Qt::RoundCap));
      p.setBrush(Qt::NoBrush);
      p.drawArc(QRectF(5, 5, 22, 22), 30 * 16, 300 * 16);
      QPainterPath head;
      head.moveTo(27, 3);
      head.lineTo(28, 13);
      head.lineTo(18, 11);
      head.closeSubpath();
      p.setPen(Qt::NoPen);
      p.setBrush(green);
      p.drawPath(head);
      break;
    }
    case CmdAutoIdentify:
      Disk(p, QRectF(2, 2, 22, 20), blue);
      p.setPen(QPen(orange.darker(130), 3, Qt::SolidLine, Qt::RoundCap));
      p.setBrush(QColor(255, 255, 255, 160));
      p.drawEllipse(QRectF(13, 13, 12, 12));
      p.drawLine(QPointF(24, 24), QPointF(30, 30));
      break;
    case CmdLoadTask:
      p.setPen(QPen(blue.darker(140), 1.5));
      p.setBrush(QColor(250, 250, 240));
      p.drawRect(QRectF(5, 2, 20, 27));
      p.setPen(QPen(blue, 2));
      for (int y = 8; y <= 23; y += 5) p.drawLine(QPointF(9, y), QPointF(21, y));
      Badge(p, green, ">");
      break;
    case CmdParseVideo:
      p.setPen(QPen(purple.darker(130), 1.5));
      p.setBrush(purple);
      p.drawRoundedRect(QRectF(2, 7, 20, 16), 2, 2);
      p.drawPolygon(QPolygonF({QPointF(22, 12), QPointF(30, 8), QPointF(30, 22), QPointF(22, 18)}));
      p.setPen(QPen(Qt::white, 2));
      p.drawLine(QPointF(6, 12), QPointF(16, 12));
      p.drawLine(QPointF(6, 17), QPointF(13, 17));
      break;
    case CmdVideoPreview:
      p.setPen(QPen(blue.darker(140), 1.5));
      p.setBrush(blue);
      p.drawEllipse(QRectF(3, 3, 26, 26));
      p.setPen(Qt::NoPen);
      p.setBrush(Qt::white);
      p.drawPolygon(QPolygonF({QPointF(12, 9), QPointF(23, 16), QPointF(12, 23)}));
      break;
    case CmdFilterFiles:
      p.setPen(QPen(orange.darker(150), 1.5));
      p.setBrush(orange);
      p.drawPolygon(QPolygonF({QPointF(3, 4), QPointF(29, 4), QPointF(19, 16), QPointF(19, 27),
                               QPointF(13, 30), QPointF(13, 16)}));
      break;
    case CmdExportFiles:
      p.setPen(QPen(orange.darker(150), 1.5));
      p.setBrush(QColor(245, 200, 90));
      p.drawRect(QRectF(2, 9, 24, 19));
      p.drawRect(QRectF(2, 6, 10, 4));
      Badge(p, blue, ">");
      break;
    case CmdTimedShutdown:
      p.setPen(QPen(grey.darker(150), 2));
      p.setBrush(Qt::white);
      p.drawEllipse(QRectF(3, 3, 26, 26));
      p.setPen(QPen(red, 2.5, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(16, 16), QPointF(16, 7));
      p.drawLine(QPointF(16, 16), QPointF(22, 19));
      break;
    case CmdExit:
      p.setPen(QPen(red.darker(130), 1.5));
      p.setBrush(red);
      p.drawEllipse(QRectF(3, 3, 26, 26));
      p.setPen(QPen(Qt::white, 3.5, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(11, 11), QPointF(21, 21));
      p.drawLine(QPointF(21, 11), QPointF(11, 21));
      break;
    default:
      p.setPen(QPen(blue.darker(130), 1.5));
      p.setBrush(blue);
      p.drawEllipse(QRectF(3, 3, 26, 26));
      p.setPen(QPen(Qt::white, 3.5, Qt::SolidLine, Qt::RoundCap));
      p.drawPoint(QPointF(16, 9.5));
      p.drawLine(QPointF(16, 14), QPointF(16, 23));
      break;
  }
  return QIcon(pm);
}

QIcon DeviceIcon() {
  QPixmap pm(16, 16);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  Disk(p, QRectF(1, 2, 14, 12), QColor(90, 90, 110));
  return QIcon(pm);
}

QIcon PartitionIcon() {
  QPixmap pm(16, 16);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(30, 90, 170), 1));
  p.setBrush(QColor(120, 170, 230));
  p.drawRect(QRectF(1.5, 4.5, 13, 8));
  p.setBrush(QColor(60, 200, 90));
  p.drawEllipse(QPointF(12, 8.5), 1.3, 1.3);
  return QIcon(pm);
}

QPixmap SplashPixmap() {
  QPixmap pm(420, 240);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient g(0, 0, 0, 240);
  g.setColorAt(0, QColor(25, 60, 120));
  g.setColorAt(1, QColor(10, 25, 55));
  p.fillRect(pm.rect(), g);
  p.setPen(Qt::white);
  QFont f = p.font();
  f.setPointSize(22);
  f.setBold(true);
  p.setFont(f);
  p.drawText(QRect(0, 60, 420, 50), Qt::AlignCenter, "Orvane");
  f.setPointSize(12);
  f.setBold(false);
  p.setFont(f);
  p.drawText(QRect(0, 115, 420, 30), Qt::AlignCenter, "监控录像恢复软件  V6.10");
  p.setPen(QColor(170, 190, 230));
  p.drawText(QRect(0, 185, 420, 30), Qt::AlignCenter, "正在枚举设备中 ...");
  return pm;
}

}  // namespace orvane::gui
