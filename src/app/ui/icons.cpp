#include "app/ui/icons.h"

#include <QColor>
#include <QFile>
#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QRegularExpression>
#include <QXmlStreamReader>
#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#include "files/layouthome.h"

namespace pix::ui {

namespace {

// The drawing attributes that SVG lets groups hand down to their children.
struct TSvgStyle {
  QColor Fill = Qt::black;
  QColor Stroke = Qt::transparent;
  double StrokeWidth = 1.0;
  Qt::PenCapStyle Cap = Qt::FlatCap;
  Qt::PenJoinStyle Join = Qt::MiterJoin;
  double Opacity = 1.0;
};

QColor ParseColor(const QString& text, const QColor& current) {
  const QString value = text.trimmed();
  if (value.isEmpty()) return current;
  if (value == QLatin1String("none")) return Qt::transparent;
  QColor color(value);
  return color.isValid() ? color : current;
}

void ApplyAttributes(const QXmlStreamAttributes& attributes, TSvgStyle& style) {
  if (attributes.hasAttribute("fill")) {
    style.Fill = ParseColor(attributes.value("fill").toString(), style.Fill);
  }
  if (attributes.hasAttribute("stroke")) {
    style.Stroke = ParseColor(attributes.value("stroke").toString(), style.Stroke);
  }
  if (attributes.hasAttribute("stroke-width")) {
    style.StrokeWidth = attributes.value("stroke-width").toDouble();
  }
  const QString cap = attributes.value("stroke-linecap").toString();
  if (cap == QLatin1String("round")) style.Cap = Qt::RoundCap;
  if (cap == QLatin1String("square")) style.Cap = Qt::SquareCap;
  const QString join = attributes.value("stroke-linejoin").toString();
  if (join == QLatin1String("round")) style.Join = Qt::RoundJoin;
  if (join == QLatin1String("bevel")) style.Join = Qt::BevelJoin;
  if (attributes.hasAttribute("opacity")) {
    style.Opacity *= attributes.value("opacity").toDouble();
  }
}

// Numbers of a points list or path: separated by blanks or commas, signs starting numbers.
class TNumberReader {
 public:
  explicit TNumberReader(const QString& text) : Text(text) {}

  bool AtNumber() {
    SkipSeparators();
    if (Pos >= Text.size()) return false;
    const QChar c = Text.at(Pos);
    return c.isDigit() || c == '-' || c == '+' || c == '.';
  }
  double Number() {
    SkipSeparators();
    const qsizetype start = Pos;
    if (Pos < Text.size() && (Text.at(Pos) == '-' || Text.at(Pos) == '+')) ++Pos;
    bool seenPoint = false;
    while (Pos < Text.size()) {
      const QChar c = Text.at(Pos);
      if (c.isDigit()) {
        ++Pos;
      } else if (c == '.' && !seenPoint) {
        seenPoint = true;
        ++Pos;
      } else {
        break;
      }
    }
    return Text.mid(start, Pos - start).toDouble();
  }
  bool AtEnd() {
    SkipSeparators();
    return Pos >= Text.size();
  }
  QChar Command() { return Text.at(Pos++); }

 private:
  void SkipSeparators() {
    while (Pos < Text.size() && (Text.at(Pos).isSpace() || Text.at(Pos) == ',')) ++Pos;
  }
  const QString& Text;
  qsizetype Pos = 0;
};

QPainterPath ParsePath(const QString& data) {
  QPainterPath path;
  TNumberReader reader(data);
  QPointF current;
  QChar command = 'M';
  while (!reader.AtEnd()) {
    if (!reader.AtNumber()) command = reader.Command();
    const bool relative = command.isLower();
    const QPointF origin = relative ? current : QPointF();
    switch (command.toUpper().toLatin1()) {
      case 'M': {
        const double x = reader.Number();
        current = origin + QPointF(x, reader.Number());
        path.moveTo(current);
        command = relative ? 'l' : 'L';  // Further pairs draw lines.
        break;
      }
      case 'L': {
        const double x = reader.Number();
        current = origin + QPointF(x, reader.Number());
        path.lineTo(current);
        break;
      }
      case 'H':
        current.setX((relative ? current.x() : 0) + reader.Number());
        path.lineTo(current);
        break;
      case 'V':
        current.setY((relative ? current.y() : 0) + reader.Number());
        path.lineTo(current);
        break;
      case 'C': {
        double v[6];
        for (double& n : v) n = reader.Number();
        const QPointF c1 = origin + QPointF(v[0], v[1]);
        const QPointF c2 = origin + QPointF(v[2], v[3]);
        current = origin + QPointF(v[4], v[5]);
        path.cubicTo(c1, c2, current);
        break;
      }
      case 'Q': {
        double v[4];
        for (double& n : v) n = reader.Number();
        const QPointF c1 = origin + QPointF(v[0], v[1]);
        current = origin + QPointF(v[2], v[3]);
        path.quadTo(c1, current);
        break;
      }
      case 'Z':
        path.closeSubpath();
        current = path.currentPosition();
        if (!reader.AtEnd() && reader.AtNumber()) return path;  // Numbers after Z: malformed.
        break;
      default:
        return path;  // A command outside the subset ends the path.
    }
  }
  return path;
}

QPolygonF ParsePoints(const QString& text) {
  QPolygonF polygon;
  TNumberReader reader(text);
  while (reader.AtNumber()) {
    const double x = reader.Number();
    if (!reader.AtNumber()) break;
    polygon << QPointF(x, reader.Number());
  }
  return polygon;
}

double Attr(const QXmlStreamAttributes& a, const char* name) {
  return a.value(QLatin1String(name)).toDouble();
}

void DrawShape(QPainter& painter, const TSvgStyle& style, const QPainterPath& shape,
               bool fillable) {
  painter.setOpacity(style.Opacity);
  if (fillable && style.Fill.alpha() > 0) painter.fillPath(shape, style.Fill);
  if (style.Stroke.alpha() > 0 && style.StrokeWidth > 0) {
    QPen pen(style.Stroke, style.StrokeWidth, Qt::SolidLine, style.Cap, style.Join);
    painter.strokePath(shape, pen);
  }
}

}  // namespace

QPixmap RenderSvg(const QByteArray& document, QSize size) {
  QPixmap pixmap(size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  QXmlStreamReader xml(document);
  std::vector<TSvgStyle> styles{TSvgStyle()};
  while (!xml.atEnd()) {
    const QXmlStreamReader::TokenType token = xml.readNext();
    if (token == QXmlStreamReader::EndElement) {
      if (styles.size() > 1) styles.pop_back();
      continue;
    }
    if (token != QXmlStreamReader::StartElement) continue;
    const QXmlStreamAttributes a = xml.attributes();
    TSvgStyle style = styles.back();
    ApplyAttributes(a, style);
    styles.push_back(style);
    const QStringView name = xml.name();
    if (name == QLatin1String("svg")) {
      const QStringList box =
          a.value("viewBox").toString().split(QRegularExpression("[ ,]+"), Qt::SkipEmptyParts);
      if (box.size() == 4 && box[2].toDouble() > 0 && box[3].toDouble() > 0) {
        painter.resetTransform();
        painter.scale(size.width() / box[2].toDouble(), size.height() / box[3].toDouble());
        painter.translate(-box[0].toDouble(), -box[1].toDouble());
      }
      continue;
    }
    QPainterPath shape;
    bool fillable = true;
    if (name == QLatin1String("rect")) {
      const double rx = Attr(a, "rx");
      shape.addRoundedRect(QRectF(Attr(a, "x"), Attr(a, "y"), Attr(a, "width"), Attr(a, "height")),
                           rx, a.hasAttribute("ry") ? Attr(a, "ry") : rx);
    } else if (name == QLatin1String("circle")) {
      shape.addEllipse(QPointF(Attr(a, "cx"), Attr(a, "cy")), Attr(a, "r"), Attr(a, "r"));
    } else if (name == QLatin1String("ellipse")) {
      shape.addEllipse(QPointF(Attr(a, "cx"), Attr(a, "cy")), Attr(a, "rx"), Attr(a, "ry"));
    } else if (name == QLatin1String("line")) {
      shape.moveTo(Attr(a, "x1"), Attr(a, "y1"));
      shape.lineTo(Attr(a, "x2"), Attr(a, "y2"));
      fillable = false;
    } else if (name == QLatin1String("polyline") || name == QLatin1String("polygon")) {
      const QPolygonF points = ParsePoints(a.value("points").toString());
      shape.addPolygon(points);
      if (name == QLatin1String("polygon")) shape.closeSubpath();
    } else if (name == QLatin1String("path")) {
      shape = ParsePath(a.value("d").toString());
    } else {
      continue;
    }
    DrawShape(painter, style, shape, fillable);
  }
  return pixmap;
}

QPixmap ResourcePixmap(int id, int size) {
  static QHash<QString, QPixmap> cache;
  const QString key = QStringLiteral("%1@%2").arg(id).arg(size);
  auto found = cache.find(key);
  if (found != cache.end()) return *found;
  const std::filesystem::path file = FindShippedDataDir() / "icons" / (std::to_string(id) + ".svg");
  QFile svg(QString::fromStdString(file.string()));
  QByteArray document;
  if (svg.open(QIODevice::ReadOnly)) document = svg.readAll();
  QPixmap pixmap = RenderSvg(document, QSize(size, size));
  cache.insert(key, pixmap);
  return pixmap;
}

QIcon ResourceIcon(int id) {
  QIcon icon;
  for (int size : {16, 22, 24, 32, 48, 64}) icon.addPixmap(ResourcePixmap(id, size));
  return icon;
}

QCursor HelpCursor() { return QCursor(ResourcePixmap(24000, 32), 1, 1); }

}  // namespace pix::ui
