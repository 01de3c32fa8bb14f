#pragma once
#include <QStringView>

class QTextDocument;

namespace lumo::text {

// Replaces the contents of `doc` with the formatted text of an RTF document: fonts
// (\fonttbl, \f), sizes (\fs), colours (\colortbl, \cf, \highlight, \cb), bold, italic,
// underline, strike-out, super- and subscript, paragraphs with their alignment, indents,
// spacing and line spacing, bullets and numbering (\pn, and \ls through the list
// tables), Unicode (\u with \uc) and bytes (\'hh) in the document's or the font's code
// page. Pictures, objects, fields' instructions, headers and other destinations are left
// out, as is every unknown destination marked \*.
//
// Attributes the RTF does not give are not set, so they come from the document's
// defaults; font names are kept as written. Returns false, with an empty document, when
// the text does not begin as RTF ("{\rtf"). Damaged input gives what could be read:
// a truncated document ends where the text ends, groups nested deeper than 200 are left
// out, and numbers are held to their sensible ranges.
bool readRtf(QStringView rtf, QTextDocument& doc);

}  // namespace lumo::text
