#pragma once
// Facts about an image and its file for the information dialog and the status bar.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include <QString>

#include "engine/io/IOParams.h"
#include "engine/pixels/Bitmap.h"

namespace lumo {

// The wording of a colour depth: an English text to translate, with "%1" standing for
// `number` where it has one ("%1 colors" with 256). Empty below 1 bit.
struct ColorDepthText {
  QString key;
  int64_t number = 0;
  // The text through `translate` (the English text when none is given).
  QString text(const std::function<QString(const QString&)>& translate = {}) const;
};
// For bits per pixel (bits per sample × samples per pixel): 1 bit is black and white;
// 2 to 8, 12, 15 and 16 bits give their colour count; other depths give the bit count.
ColorDepthText colorDepthText(int bitsPerPixel);

// Distinct colours of the pixels, told apart as 24-bit RGB (formats of more bits per
// sample count by their 8-bit conversion). Alpha is ignored: two pixels of one colour
// and different opacity count once.
uint32_t countDistinctColors(const Bitmap& image);

// The quality (1 ... 100) at which a JPEG file's quantisation tables match the standard
// ones scaled the usual way most closely; -1 when the bytes hold no tables.
int estimateJpegQuality(const uint8_t* data, size_t size);
int estimateJpegQualityOfFile(const QString& path);

// Whether a saved file of the type keeps IPTC data.
bool canCarryIptc(int32_t fileType);

// The editorial IPTC fields (record 2) as picture editors list them.
struct IptcField {
  int32_t dataset;
  const char* name;
  bool repeatable;  // several data sets: shown and typed as one text, joined by "; "
};
const std::vector<IptcField>& iptcFields();
// The field's value in `records`; repeated data sets joined by "; ".
QString iptcFieldText(const std::vector<IptcRecord>& records, const IptcField& field);
// Replaces the field's data sets by `text` (split at ";" for a repeatable field, each
// part trimmed); an empty text removes them. The new data sets take the place of the
// first old one, or go to the end.
void setIptcFieldText(std::vector<IptcRecord>& records, const IptcField& field, const QString& text);

}  // namespace lumo
