#pragma once
#include <QByteArray>
#include <QString>

// The byte encodings of RTF text: escaped bytes (\'hh) are in the document's ANSI code
// page or the code page of the current font's character set.
namespace lumo::text {

// The Windows code page of an RTF font character set (\fcharset), or 0 for the
// character sets that use the document's code page.
int codePageOfCharset(int charset);

// The bytes as text in the code page; code pages the system does not know, and bytes
// a code page leaves undefined, are read as Windows-1252.
QString decodeCodePage(int codePage, const QByteArray& bytes);

// The Windows-1252 byte of a character, or -1 when that code page has none.
int cp1252Byte(char16_t c);

}  // namespace lumo::text
