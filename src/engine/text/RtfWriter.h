#pragma once
#include <QString>

class QTextDocument;

namespace lumo::text {

// The document as RTF that the reader and common editors read back with the same
// formatting: fonts and point sizes, bold, italic, underline, strike-out, super- and
// subscript, text and highlight colours, paragraph alignment, indents, spacing, line
// spacing, and bullet and numbered lists (\listtable with \ls, and the item's own
// marker in \listtext for readers without lists). Characters outside Windows-1252 are
// written as \u with a "?" fallback. Runs without a font name are written without one
// (no \deff), so that a reader gives them its default font.
QString writeRtf(const QTextDocument& doc);

}  // namespace lumo::text
