// Draws the window's images into a template folder:
//
//   travo_draw_images FOLDER
//
// writes logo.ico, logo.png, "logo(僅文字).png", 資料夾.png and 問號001.png.
// The images are simple originals drawn with QPainter for the dark window:
// light strokes, the blue accent, transparent backgrounds. The results are
// committed in model/GUI/格式範本; run this again only to change them.
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>

namespace {

const QColor kAccent("#1f6aa5");
const QColor kAccentDark("#144870");
const QColor kLight("#dce4ee");

QImage canvas(int w, int h) {
  QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  return image;
}

// A blue rounded square holding a magnifying glass over a "T".
QImage logo(int size) {
  QImage image = canvas(size, size);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 256.0, size / 256.0);

  QLinearGradient fill(0, 0, 256, 256);
  fill.setColorAt(0, kAccent.lighter(115));
  fill.setColorAt(1, kAccentDark);
  p.setPen(Qt::NoPen);
  p.setBrush(fill);
  p.drawRoundedRect(QRectF(8, 8, 240, 240), 48, 48);

  // Lens ring and handle.
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(Qt::white, 20, Qt::SolidLine, Qt::RoundCap));
  p.drawEllipse(QPointF(112, 112), 64, 64);
  p.setPen(QPen(Qt::white, 30, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(160, 160), QPointF(206, 206));

  // The "T" inside the lens.
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawRoundedRect(QRectF(80, 80, 64, 16), 4, 4);
  p.drawRoundedRect(QRectF(104, 80, 16, 70), 4, 4);
  return image;
}

// The name alone, light letters with the accent underline.
QImage text_logo() {
  QImage image = canvas(480, 120);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  QFont font("DejaVu Sans");
  font.setPixelSize(88);
  font.setBold(true);
  font.setLetterSpacing(QFont::AbsoluteSpacing, 6);
  p.setFont(font);
  p.setPen(kLight);
  p.drawText(QRectF(0, 0, 480, 104), Qt::AlignCenter, "TRAVO");
  p.setPen(Qt::NoPen);
  p.setBrush(kAccent.lighter(130));
  p.drawRoundedRect(QRectF(40, 104, 400, 10), 5, 5);
  return image;
}

// A folder: tab and body in the light stroke colour.
QImage folder() {
  QImage image = canvas(128, 128);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(kLight.darker(115));
  QPainterPath tab;
  tab.addRoundedRect(QRectF(10, 22, 50, 24), 6, 6);
  p.drawPath(tab);
  p.setBrush(kLight);
  p.drawRoundedRect(QRectF(10, 34, 108, 74), 10, 10);
  p.setBrush(kLight.darker(108));
  p.drawRoundedRect(QRectF(10, 50, 108, 58), 10, 10);
  return image;
}

// A question mark in a ring.
QImage help() {
  QImage image = canvas(128, 128);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  p.setPen(QPen(kLight, 10));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(QRectF(9, 9, 110, 110));
  QFont font("DejaVu Sans");
  font.setPixelSize(78);
  font.setBold(true);
  p.setFont(font);
  p.setPen(kLight);
  p.drawText(QRectF(0, 2, 128, 128), Qt::AlignCenter, "?");
  return image;
}

bool save(const QImage& image, const QDir& dir, const QString& name, const char* format) {
  QImageWriter writer(dir.filePath(name), format);
  if (writer.write(image)) return true;
  std::fprintf(stderr, "travo_draw_images: cannot write %s: %s\n", qPrintable(dir.filePath(name)),
               qPrintable(writer.errorString()));
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: travo_draw_images FOLDER\n");
    return 2;
  }
  const QDir dir(QString::fromLocal8Bit(argv[1]));
  if (!dir.exists() && !QDir().mkpath(dir.path())) {
    std::fprintf(stderr, "travo_draw_images: cannot create %s\n", argv[1]);
    return 1;
  }
  bool ok = save(logo(256), dir, "logo.png", "png");
  ok = save(logo(64).convertToFormat(QImage::Format_ARGB32), dir, "logo.ico", "ico") && ok;
  ok = save(text_logo(), dir, "logo(僅文字).png", "png") && ok;
  ok = save(folder(), dir, "資料夾.png", "png") && ok;
  ok = save(help(), dir, "問號001.png", "png") && ok;
  return ok ? 0 : 1;
}
