#include <cmath>

#include <QFontMetricsF>
#include <QGlyphRun>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QRawFont>
#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

#include "engine/render/ShapePaths.h"
#include "engine/render/VectorPaint.h"
#include "engine/text/RtfReader.h"

namespace lumo::vector {

namespace {

struct Laid {
  QPainterPath glyphs;
  double height = 0;  // of all lines
  bool fits = true;   // every line lies inside the text box
};

// Lays the text out in `box` and returns its glyph outlines, so the outline and the
// gradient fill can both follow the glyphs. Lines that overflow are dropped when
// `hideOverflow`; otherwise they are kept and clipped by the caller.
Laid layOut(const QString& text, const QFont& font, const QRectF& box, const TextLayer& l, bool hideOverflow) {
  Laid out;
  QTextOption opt;
  opt.setWrapMode(l.fWordWrap ? QTextOption::WrapAtWordBoundaryOrAnywhere : QTextOption::NoWrap);
  const Qt::Alignment horz[] = {Qt::AlignLeft, Qt::AlignRight, Qt::AlignHCenter, Qt::AlignJustify};
  opt.setAlignment(l.fAlignment < 4 ? horz[l.fAlignment] : Qt::AlignLeft);
  const QFontMetricsF fm(font);
  struct Line {
    QList<QGlyphRun> runs;
    QPointF pos;
    double width;
  };
  std::vector<Line> lines;
  QString shown = text;
  shown.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
  double y = 0;
  for (const QString& para : shown.split(QLatin1Char('\n'))) {
    QTextLayout layout(para, font);
    layout.setTextOption(opt);
    layout.beginLayout();
    for (QTextLine tl = layout.createLine(); tl.isValid(); tl = layout.createLine()) {
      tl.setLineWidth(std::max(1.0, box.width()));
      tl.setPosition(QPointF(0, y));
      y += tl.height();
    }
    layout.endLayout();
    for (int i = 0; i < layout.lineCount(); ++i) {
      const QTextLine tl = layout.lineAt(i);
      lines.push_back({tl.glyphRuns(), tl.position(), tl.naturalTextWidth()});
    }
    if (layout.lineCount() == 0) y += fm.height();
  }
  out.height = y;
  out.fits = y <= box.height() + 0.5;
  if (!l.fWordWrap)
    for (const Line& ln : lines) out.fits = out.fits && ln.width <= box.width() + 0.5;

  // Vertical layout: 0 top, 1 bottom, 2 centre.
  const double top = l.fLayout == 1 ? box.bottom() - y : l.fLayout == 2 ? box.top() + (box.height() - y) / 2 : box.top();
  for (const Line& ln : lines) {
    const double lineTop = top + ln.pos.y();
    if (hideOverflow && (lineTop < box.top() - 0.5 || lineTop + fm.height() > box.bottom() + 0.5)) continue;
    for (const QGlyphRun& run : ln.runs) {
      const QRawFont raw = run.rawFont();
      const QList<quint32> idx = run.glyphIndexes();
      const QList<QPointF> pos = run.positions();
      // Glyph positions already include the line's own offset in the layout.
      for (qsizetype g = 0; g < idx.size(); ++g)
        out.glyphs.addPath(raw.pathForGlyph(idx[g]).translated(box.left() + pos[g].x(), top + pos[g].y()));
      // Decorations are part of the outline too.
      const QRectF r = run.boundingRect().translated(box.left(), top);
      const double thick = std::max(1.0, fm.lineWidth());
      const double baseline = lineTop + fm.ascent();
      if (run.underline()) out.glyphs.addRect(QRectF(r.left(), baseline + fm.underlinePos(), r.width(), thick));
      if (run.strikeOut()) out.glyphs.addRect(QRectF(r.left(), baseline - fm.strikeOutPos(), r.width(), thick));
    }
  }
  out.glyphs.setFillRule(Qt::WindingFill);
  return out;
}

// Formatted text keeps the names and point sizes it was written with; it is drawn in
// the installed faces of those names at 96 pixels per inch, as plain text is.
void useInstalledFonts(QTextDocument& doc) {
  auto installed = [](QTextCharFormat f) {
    if (const QString family = f.fontFamilies().toStringList().value(0); !family.isEmpty()) {
      FontRecord record;
      record.Name = family;
      const QFont q = toQFont(record);
      f.setFontFamilies({q.family()});
      if (q.bold()) f.setFontWeight(QFont::Bold);
    }
    if (f.hasProperty(QTextFormat::FontPointSize)) {
      f.setProperty(QTextFormat::FontPixelSize, std::max(1, int(std::lround(f.fontPointSize() * 96 / 72))));
      f.clearProperty(QTextFormat::FontPointSize);
    }
    return f;
  };
  struct Run {
    int from, to;
    QTextCharFormat format;
  };
  std::vector<Run> runs;
  std::vector<std::pair<int, QTextCharFormat>> blocks;
  for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
    blocks.emplace_back(b.position(), installed(b.charFormat()));
    for (auto it = b.begin(); !it.atEnd(); ++it)
      runs.push_back({it.fragment().position(), it.fragment().position() + it.fragment().length(),
                      installed(it.fragment().charFormat())});
  }
  QTextCursor c(&doc);
  c.beginEditBlock();
  for (const auto& [at, format] : blocks) {
    c.setPosition(at);
    c.setBlockCharFormat(format);
  }
  for (const Run& r : runs) {
    c.setPosition(r.from);
    c.setPosition(r.to, QTextCursor::KeepAnchor);
    c.setCharFormat(r.format);
  }
  c.endEditBlock();
}

// Formatted text is laid out and drawn by the text document with its own fonts,
// colours, paragraphs and lists; what it leaves open comes from the layer's font. The
// layer's overflow, vertical layout and word wrap apply to it as to plain text.
void drawFormatted(QPainter& p, QTextDocument& doc, const TextLayer& l, const QRectF& box, uint8_t overflow) {
  doc.setDefaultFont(toQFont(l.fFont));
  doc.setDocumentMargin(0);
  QTextOption option = doc.defaultTextOption();
  option.setWrapMode(l.fWordWrap ? QTextOption::WrapAtWordBoundaryOrAnywhere : QTextOption::NoWrap);
  doc.setDefaultTextOption(option);
  useInstalledFonts(doc);

  // Shrinking scales the whole text, so every run keeps its size relative to the others.
  double scale = 1;
  auto fits = [&] {
    return doc.size().height() * scale <= box.height() + 0.5 && (l.fWordWrap || doc.idealWidth() * scale <= box.width() + 0.5);
  };
  doc.setTextWidth(box.width());
  if (overflow == 1)
    while (!fits() && scale > 0.02) {
      scale *= 0.9;
      doc.setTextWidth(box.width() / scale);
    }
  const double height = doc.size().height() * scale;
  const double top = l.fLayout == 1 ? box.bottom() - height : l.fLayout == 2 ? box.top() + (box.height() - height) / 2 : box.top();

  QRectF shown = box;
  if (overflow == 2) {  // only the lines that fit whole
    double from = box.bottom(), to = box.top();
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
      const QRectF blockBox = doc.documentLayout()->blockBoundingRect(b);
      const QTextLayout* layout = b.layout();
      for (int i = 0; i < layout->lineCount(); ++i) {
        const QTextLine line = layout->lineAt(i);
        const double y0 = top + (blockBox.top() + line.y()) * scale, y1 = y0 + line.height() * scale;
        if (y0 < box.top() - 0.5 || y1 > box.bottom() + 0.5) continue;
        from = std::min(from, y0);
        to = std::max(to, y1);
      }
    }
    if (to <= from) return;
    shown = QRectF(box.left(), from, box.width(), to - from);
  }
  p.save();
  if (!l.fAutoSize) p.setClipRect(shown, Qt::IntersectClip);
  p.translate(box.left(), top);
  p.scale(scale, scale);
  QAbstractTextDocumentLayout::PaintContext context;
  const QColor colour = toQColor(l.fFont.Color);
  context.palette.setColor(QPalette::Text, colour.isValid() ? colour : QColor(Qt::black));
  doc.documentLayout()->draw(&p, context);
  p.restore();
}

}  // namespace

// The box is filled and outlined with the border shape, turned by fBorderRotate
// degrees counter-clockwise about its centre (the text stays level), then the text is
// drawn inside the margins, moved by (fTextOffsetX, fTextOffsetY) pixels. With
// formatting enabled and RTF that can be read, the formatted text is drawn in its own
// formats. Otherwise the plain text is drawn as glyph outlines: first its outline (the
// text styling border, drawn twice as wide under the fill so that its full width shows
// around the glyphs), then its fill, solid or a gradient over the text box. An
// auto-sized box grows with its text, so its text is never cut, shrunk or hidden.
void drawTextLayer(QPainter& p, const TextLayer& l, const QSizeF& size) {
  const double bw = l.fBorderColor == clNone ? 0.0 : std::max(0, l.fBorderWidth);
  const double inset = std::min(bw / 2, std::min(size.width(), size.height()) / 2);
  const QRectF frame = QRectF(QPointF(0, 0), size).adjusted(inset, inset, -inset, -inset);
  QPainterPath boxPath = shapePath(l.fBorderShape, frame, 0);
  if (l.fBorderRotate != 0 && std::isfinite(l.fBorderRotate)) {
    QTransform turn;
    turn.translate(frame.center().x(), frame.center().y());
    turn.rotate(-l.fBorderRotate);  // y runs down: a negative angle turns counter-clockwise as seen
    turn.translate(-frame.center().x(), -frame.center().y());
    boxPath = turn.map(boxPath);
  }
  const QColor boxFill = toQColor(l.fFillColor, l.fFillOpacity);
  if (boxFill.isValid() && l.fFillOpacity > 0)
    p.fillPath(boxPath, gradientBrush(l.fFillGradient, boxFill, toQColor(l.fFillColor2, l.fFillOpacity), frame));
  if (bw > 0) p.strokePath(boxPath, stylePen(toQColor(l.fBorderColor), bw, 0));

  if (!qGuiApp) return;  // glyphs need the GUI application's fonts
  const QPointF offset(std::isfinite(l.fTextOffsetX) ? l.fTextOffsetX : 0, std::isfinite(l.fTextOffsetY) ? l.fTextOffsetY : 0);
  const QRectF textBox = QRectF(QPointF(0, 0), size)
                             .adjusted(bw + l.fHorzMargin, bw + l.fVertMargin, -bw - l.fHorzMargin, -bw - l.fVertMargin)
                             .translated(offset);
  if (textBox.width() <= 0 || textBox.height() <= 0) return;
  // Overflow: 0 truncate (clip at the box), 1 shrink the font until the text fits,
  // 2 hide the lines that do not fit whole.
  const uint8_t overflow = l.fAutoSize ? 0 : l.fTextOverflow;

  if (l.fEnableFormatting && !l.fRichText.isEmpty()) {
    QTextDocument doc;
    if (text::readRtf(l.fRichText, doc) && !doc.isEmpty()) return drawFormatted(p, doc, l, textBox, overflow);
  }
  if (l.fText.isEmpty()) return;

  QFont font = toQFont(l.fFont);
  Laid laid = layOut(l.fText, font, textBox, l, overflow == 2);
  if (overflow == 1) {
    while (!laid.fits && font.pixelSize() > 1) {
      font.setPixelSize(std::max(1, int(font.pixelSize() * 0.9)));
      laid = layOut(l.fText, font, textBox, l, false);
    }
  }

  p.save();
  if (!l.fAutoSize)
    p.setClipRect(textBox.adjusted(-l.fTextStyling.BorderWidth, -l.fTextStyling.BorderWidth, l.fTextStyling.BorderWidth,
                                   l.fTextStyling.BorderWidth),
                  Qt::IntersectClip);
  const QColor outline = toQColor(l.fTextStyling.BorderColor);
  if (l.fTextStyling.BorderWidth > 0 && outline.isValid()) {
    const Qt::PenJoinStyle joins[] = {Qt::MiterJoin, Qt::BevelJoin, Qt::RoundJoin};
    QPen pen(outline, 2.0 * l.fTextStyling.BorderWidth, Qt::SolidLine, Qt::RoundCap,
             l.fTextStyling.BorderLineJoin < 3 ? joins[l.fTextStyling.BorderLineJoin] : Qt::RoundJoin);
    p.strokePath(laid.glyphs, pen);
  }
  // The two fill transparencies are the alpha of the two gradient colours.
  const QColor c1 = toQColor(l.fFont.Color, std::clamp(l.fTextStyling.FillTransparency1, 0, 255) / 255.0);
  const QColor c2 = toQColor(l.fTextStyling.FillColor2, std::clamp(l.fTextStyling.FillTransparency2, 0, 255) / 255.0);
  if (c1.isValid()) p.fillPath(laid.glyphs, gradientBrush(l.fTextStyling.FillGradient, c1, c2, laid.glyphs.boundingRect()));
  p.restore();
}

}  // namespace lumo::vector
