// SVG documents: read by rendering with Qt Svg at the document's own size; written as a
// document holding the raster as an embedded PNG.
#include <algorithm>
#include <cmath>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include "engine/io/ImageCodecs.h"
#include "engine/pixels/QImageBridge.h"

namespace lumo {

namespace {

// No document renders to more pixels than this; larger ones are scaled down.
constexpr double kMaxRenderPixels = double(1 << 26);

bool isLocalReference(QStringView href) {
  const QStringView v = href.trimmed();
  return v.startsWith(u'#') || v.startsWith(u"data:", Qt::CaseInsensitive);
}

bool isReference(const QXmlStreamAttribute& a) { return a.name() == u"href"; }

struct Survey {
  bool svgRoot = false;
  bool externalReferences = false;  // links to files or URLs
  bool text = false;  // text or font properties, which need the application's fonts
  QString error;
};

// One pass over the XML: well-formed, an <svg> root, and what rendering would reach for.
Survey survey(const QByteArray& xml) {
  Survey s;
  QXmlStreamReader reader(xml);
  bool first = true;
  while (!reader.atEnd()) {
    if (reader.readNext() != QXmlStreamReader::StartElement) continue;
    if (first) {
      s.svgRoot = reader.name() == u"svg";
      if (!s.svgRoot) return s;
      first = false;
    }
    const QStringView name = reader.name();
    if (name == u"text" || name == u"textArea" || name == u"tspan" || name.startsWith(u"font")) s.text = true;
    if (name == u"style" && reader.readElementText().contains(u"font")) s.text = true;
    for (const QXmlStreamAttribute& a : reader.attributes()) {
      if (isReference(a) && !isLocalReference(a.value())) s.externalReferences = true;
      if (a.name().startsWith(u"font") || (a.name() == u"style" && a.value().contains(u"font"))) s.text = true;
    }
  }
  if (reader.hasError()) s.error = reader.errorString();
  return s;
}

// The same document without the links that point outside it, so that rendering never
// opens a file or a URL the document names.
QByteArray withoutExternalReferences(const QByteArray& xml) {
  QByteArray out;
  QXmlStreamReader reader(xml);
  QXmlStreamWriter writer(&out);
  while (!reader.atEnd()) {
    switch (reader.readNext()) {
      case QXmlStreamReader::StartDocument: writer.writeStartDocument(); break;
      case QXmlStreamReader::StartElement: {
        writer.writeStartElement(reader.qualifiedName().toString());
        for (const QXmlStreamNamespaceDeclaration& ns : reader.namespaceDeclarations())
          writer.writeAttribute(ns.prefix().isEmpty() ? QString("xmlns") : "xmlns:" + ns.prefix().toString(),
                                ns.namespaceUri().toString());
        for (const QXmlStreamAttribute& a : reader.attributes())
          if (!isReference(a) || isLocalReference(a.value()))
            writer.writeAttribute(a.qualifiedName().toString(), a.value().toString());
        break;
      }
      case QXmlStreamReader::EndElement: writer.writeEndElement(); break;
      case QXmlStreamReader::Characters:
        if (reader.isCDATA())
          writer.writeCDATA(reader.text().toString());
        else
          writer.writeCharacters(reader.text().toString());
        break;
      default: break;
    }
  }
  writer.writeEndDocument();
  return out;
}

}  // namespace

bool readSvg(const uint8_t* data, size_t size, Bitmap& out, IOParams& params, QString& error) {
  size_t i = 0;
  if (size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) i = 3;
  while (i < size && (data[i] == ' ' || data[i] == '\t' || data[i] == '\r' || data[i] == '\n')) ++i;
  if (i >= size || data[i] != '<') {
    error = "Not an SVG document";
    return false;
  }
  QByteArray xml(reinterpret_cast<const char*>(data), qsizetype(size));
  const Survey s = survey(xml);
  if (!s.svgRoot) {
    error = "Not an SVG document";
    return false;
  }
  if (!s.error.isEmpty()) {
    error = QString("Invalid SVG document: %1").arg(s.error);
    return false;
  }
  if (s.text && !qGuiApp) {  // Qt's fonts exist only in a GUI application
    error = "SVG documents with text need the running program to be read";
    return false;
  }
  if (s.externalReferences) xml = withoutExternalReferences(xml);

  QSvgRenderer renderer(xml);
  if (!renderer.isValid()) {
    error = "Invalid SVG document";
    return false;
  }
  QSizeF size0 = renderer.defaultSize();
  if (size0.isEmpty()) size0 = renderer.viewBoxF().size();
  if (!(size0.width() >= 0.5 && size0.height() >= 0.5)) {
    error = "The SVG document has no size";
    return false;
  }
  const double pixels = size0.width() * size0.height();
  const double scale = pixels > kMaxRenderPixels ? std::sqrt(kMaxRenderPixels / pixels) : 1.0;
  const int w = std::max(1, int(std::lround(size0.width() * scale)));
  const int h = std::max(1, int(std::lround(size0.height() * scale)));
  if (w > kMaxImageSide || h > kMaxImageSide) {
    error = QString("The image is too large (%1 x %2 pixels)").arg(w).arg(h);
    return false;
  }

  QImage canvas(w, h, QImage::Format_ARGB32_Premultiplied);
  if (canvas.isNull()) {
    error = "Out of memory";
    return false;
  }
  canvas.fill(Qt::transparent);
  QPainter painter(&canvas);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  renderer.render(&painter, QRectF(0, 0, w, h));
  painter.end();

  Bitmap image = fromQImage(canvas);
  if (image.isOpaque()) image.removeAlpha();
  params.BitsPerSample = 8;
  params.SamplesPerPixel = image.hasAlpha() ? 4 : 3;
  out = std::move(image);
  return true;
}

// Write rule: the document is the image's size in pixels and holds the image as one
// embedded PNG (with the PNG options, alpha included), so it reads back pixel for pixel.
bool writeSvg(const Bitmap& image, const IOParams& params, const QString& /*extension*/, QByteArray& out,
              QString& error) {
  QByteArray png;
  if (!writePng(image, params, "png", png, error)) return false;
  const QString w = QString::number(image.width()), h = QString::number(image.height());
  QByteArray svg;
  QXmlStreamWriter writer(&svg);
  writer.setAutoFormatting(true);
  writer.writeStartDocument();
  writer.writeStartElement("svg");
  writer.writeAttribute("xmlns", "http://www.w3.org/2000/svg");
  writer.writeAttribute("xmlns:xlink", "http://www.w3.org/1999/xlink");
  writer.writeAttribute("version", "1.1");
  writer.writeAttribute("width", w);
  writer.writeAttribute("height", h);
  writer.writeAttribute("viewBox", "0 0 " + w + " " + h);
  writer.writeStartElement("image");
  writer.writeAttribute("x", "0");
  writer.writeAttribute("y", "0");
  writer.writeAttribute("width", w);
  writer.writeAttribute("height", h);
  writer.writeAttribute("xlink:href", "data:image/png;base64," + QString::fromLatin1(png.toBase64()));
  writer.writeEndElement();
  writer.writeEndElement();
  writer.writeEndDocument();
  out = std::move(svg);
  return true;
}

}  // namespace lumo
