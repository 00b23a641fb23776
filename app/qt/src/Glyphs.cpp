// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/qt/Glyphs.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPalette>
#include <QPainterPath>
#include <QPixmap>

namespace sealvane::qt {
namespace {

const QColor kBody(0xC8, 0x8A, 0x12);
const QColor kEdge(0x5A, 0x3C, 0x05);
const QColor kShackle(0x6E, 0x6E, 0x78);

// A padlock on a square of `size`; `open` lifts the shackle off one side.
QPixmap Padlock(int size, bool open) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 32.0, size / 32.0);
  QPen shackle(kShackle, 3.2);
  shackle.setCapStyle(Qt::RoundCap);
  p.setPen(shackle);
  p.setBrush(Qt::NoBrush);
  QPainterPath arc;
  if (open) {
    arc.moveTo(22, 8);
    arc.arcTo(QRectF(10, 2, 12, 12), 0, 180);
    arc.lineTo(10, 12);
    p.translate(-5, 0);
  } else {
    arc.moveTo(22, 15);
    arc.lineTo(22, 10);
    arc.arcTo(QRectF(10, 4, 12, 12), 0, 180);
    arc.lineTo(10, 15);
  }
  p.drawPath(arc);
  if (open) p.translate(5, 0);
  p.setPen(QPen(kEdge, 1.4));
  p.setBrush(kBody);
  p.drawRoundedRect(QRectF(6, 14, 20, 15), 2.5, 2.5);
  p.setBrush(kEdge);
  p.setPen(Qt::NoPen);
  p.drawEllipse(QPointF(16, 20), 2.2, 2.2);
  p.drawRect(QRectF(15.2, 20, 1.6, 5));
  return pixmap;
}

QPixmap Shredder(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 32.0, size / 32.0);
  // A sheet going in, strips coming out.
  p.setPen(QPen(QColor(0x70, 0x70, 0x70), 1.2));
  p.setBrush(Qt::white);
  p.drawRect(QRectF(9, 2, 14, 11));
  p.setPen(QPen(QColor(0xA0, 0xA0, 0xA0), 1));
  for (double y = 5; y <= 10.5; y += 2.5) p.drawLine(QPointF(11, y), QPointF(21, y));
  p.setPen(QPen(QColor(0x33, 0x33, 0x44), 1.4));
  p.setBrush(QColor(0x4A, 0x55, 0x70));
  p.drawRoundedRect(QRectF(4, 12, 24, 8), 2, 2);
  p.setPen(QPen(QColor(0x70, 0x70, 0x70), 1.6));
  for (int x = 10; x <= 22; x += 3) p.drawLine(QPointF(x, 21), QPointF(x + (x % 2 ? 1 : -1), 30));
  return pixmap;
}

QPixmap Eye(int size, bool struck) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 16.0, size / 16.0);
  const QColor ink = QGuiApplication::palette().color(QPalette::WindowText);
  p.setPen(QPen(ink, 1.2));
  p.setBrush(Qt::NoBrush);
  QPainterPath outline;
  outline.moveTo(1.5, 8);
  outline.quadTo(8, 1, 14.5, 8);
  outline.quadTo(8, 15, 1.5, 8);
  p.drawPath(outline);
  p.setBrush(ink);
  p.drawEllipse(QPointF(8, 8), 2.2, 2.2);
  if (struck) {
    p.setPen(QPen(ink, 1.4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(2.5, 13.5), QPointF(13.5, 2.5));
  }
  return pixmap;
}

QIcon Sizes(QPixmap (*draw)(int, bool), bool open) {
  QIcon icon;
  for (const int size : {16, 24, 32, 48, 64, 128}) icon.addPixmap(draw(size, open));
  return icon;
}

}  // namespace

QIcon EncryptIcon() { return Sizes(&Padlock, false); }
QIcon DecryptIcon() { return Sizes(&Padlock, true); }
QIcon ProgramIcon() { return EncryptIcon(); }

QIcon PasswordShownIcon(bool shown) { return Sizes(&Eye, shown); }

QIcon SecureDeleteIcon() {
  QIcon icon;
  for (const int size : {16, 24, 32, 48, 64}) icon.addPixmap(Shredder(size));
  return icon;
}

}  // namespace sealvane::qt
