// Draws the program icon at every size the window and the desktop use, and the promotion
// picture: a magnifying glass over a table of captured data. Usage: imagegen <res folder>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cstdio>

namespace {

const QColor kInk(0x1f, 0x3a, 0x5f);
const QColor kAccent(0x2a, 0x7a, 0xd8);
const QColor kPaperEdge(0x8a, 0x96, 0xa6);

// The icon is drawn on a 128-unit grid; small sizes get fewer details so they stay legible.
void DrawPage(QPainter& p, bool detailed) {
  QPainterPath page;
  page.moveTo(34, 6);
  page.lineTo(92, 6);
  page.lineTo(118, 32);
  page.lineTo(118, 112);
  page.lineTo(34, 112);
  page.closeSubpath();
  p.setPen(QPen(kPaperEdge, detailed ? 3 : 6));
  p.setBrush(Qt::white);
  p.drawPath(page);

  QPainterPath fold;
  fold.moveTo(92, 6);
  fold.lineTo(92, 32);
  fold.lineTo(118, 32);
  fold.closeSubpath();
  p.setBrush(QColor(0xd8, 0xde, 0xe6));
  p.drawPath(fold);

  // Rows of captured data.
  const int rows = detailed ? 6 : 3;
  const qreal pitch = detailed ? 12 : 22;
  const qreal thickness = detailed ? 5 : 10;
  const qreal lengths[] = {56, 40, 62, 48, 30, 52};
  p.setPen(Qt::NoPen);
  for (int i = 0; i < rows; ++i) {
    p.setBrush(i % 2 == 0 ? kAccent : kInk);
    p.drawRoundedRect(QRectF(46, 42 + i * pitch, lengths[i], thickness), thickness / 2, thickness / 2);
  }
}

// A nine-pin D connector in the lower left corner, the serial port the data comes from.
void DrawConnector(QPainter& p, bool detailed) {
  QPainterPath shell;
  shell.moveTo(4, 70);
  shell.lineTo(80, 70);
  shell.lineTo(72, 116);
  shell.lineTo(12, 116);
  shell.closeSubpath();
  QLinearGradient metal(0, 70, 0, 116);
  metal.setColorAt(0, QColor(0xc9, 0xd1, 0xdb));
  metal.setColorAt(1, QColor(0x7d, 0x8b, 0x9c));
  p.setPen(QPen(kInk, detailed ? 3 : 6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(metal);
  p.drawPath(shell);

  QPainterPath socket;
  socket.moveTo(14, 78);
  socket.lineTo(70, 78);
  socket.lineTo(64, 108);
  socket.lineTo(20, 108);
  socket.closeSubpath();
  p.setPen(Qt::NoPen);
  p.setBrush(kInk);
  p.drawPath(socket);

  p.setBrush(QColor(0xf2, 0xc1, 0x4e));
  const int top = detailed ? 5 : 3;
  const int bottom = detailed ? 4 : 2;
  const qreal radius = detailed ? 3.2 : 5.5;
  for (int i = 0; i < top; ++i) {
    p.drawEllipse(QPointF(22 + i * 40.0 / (top - 1), 87), radius, radius);
  }
  for (int i = 0; i < bottom; ++i) {
    const qreal span = detailed ? 30.0 : 20.0;
    p.drawEllipse(QPointF(42 - span / 2 + i * span / (bottom - 1), 99), radius, radius);
  }
}

QImage DrawIcon(int size) {
  QImage image(size, size, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 128.0, size / 128.0);
  const bool detailed = size >= 32;
  DrawPage(p, detailed);
  DrawConnector(p, detailed);
  return image;
}

// The data table: a header and rows of cells (time, hex bytes, text) drawn as bars.
void DrawTable(QPainter& p, const QRectF& table) {
  p.setPen(QPen(kPaperEdge, 1));
  p.setBrush(Qt::white);
  p.drawRect(table);
  const qreal rowHeight = 8;
  p.fillRect(QRectF(table.left(), table.top(), table.width(), rowHeight + 1), kInk);
  const qreal columns[] = {0, 26, 86};
  const qreal widths[] = {20, 54, 32};
  for (int row = 1; table.top() + (row + 1) * rowHeight <= table.bottom(); ++row) {
    const qreal y = table.top() + row * rowHeight;
    if (row % 2 == 0) p.fillRect(QRectF(table.left() + 1, y, table.width() - 1, rowHeight), QColor(0xee, 0xf3, 0xfa));
    for (int c = 0; c < 3; ++c) {
      const qreal length = widths[c] * (0.55 + 0.45 * ((row * 7 + c * 3) % 5) / 4.0);
      p.fillRect(QRectF(table.left() + 4 + columns[c], y + 3, length, 2.5), c == 1 ? kAccent : kPaperEdge);
    }
  }
  p.setPen(QPen(QColor(0xd0, 0xd8, 0xe2), 1));
  for (qreal x : {26.0, 86.0}) {
    p.drawLine(QPointF(table.left() + x, table.top() + rowHeight), QPointF(table.left() + x, table.bottom()));
  }
}

QImage DrawPromo() {
  QImage image(139, 100, QImage::Format_RGB888);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient sky(0, 0, 0, 100);
  sky.setColorAt(0, QColor(0xe9, 0xf1, 0xfb));
  sky.setColorAt(1, QColor(0xc4, 0xd6, 0xec));
  p.fillRect(image.rect(), sky);

  const QRectF table(6.5, 8.5, 120, 82);
  DrawTable(p, table);

  const QPointF lens(86, 50);
  const qreal radius = 25;
  p.setPen(QPen(QColor(0x5a, 0x3b, 0x1e), 9, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(lens + QPointF(radius * 0.72, radius * 0.72), QPointF(130, 93));

  // Inside the lens the table is shown enlarged.
  QPainterPath glass;
  glass.addEllipse(lens, radius, radius);
  p.save();
  p.setClipPath(glass);
  p.translate(lens);
  p.scale(1.7, 1.7);
  p.translate(-lens);
  DrawTable(p, table);
  p.restore();

  QRadialGradient shine(lens - QPointF(9, 9), radius * 1.4);
  shine.setColorAt(0, QColor(255, 255, 255, 120));
  shine.setColorAt(1, QColor(120, 180, 230, 40));
  p.setBrush(shine);
  p.setPen(QPen(QColor(0x33, 0x3f, 0x4d), 4));
  p.drawEllipse(lens, radius, radius);
  return image;
}

bool Save(const QImage& image, const QString& path) {
  if (image.save(path, "PNG")) return true;
  std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
  return false;
}

}  // namespace

int main(int argc, char* argv[]) {
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: imagegen <res folder>\n");
    return 2;
  }
  const QString res = QString::fromLocal8Bit(argv[1]);
  bool ok = true;
  for (int size : {16, 24, 32, 48, 128}) {
    ok = Save(DrawIcon(size), QStringLiteral("%1/icons/corvessa-%2.png").arg(res).arg(size)) && ok;
  }
  ok = Save(DrawPromo(), res + QStringLiteral("/promo.png")) && ok;
  return ok ? 0 : 1;
}
