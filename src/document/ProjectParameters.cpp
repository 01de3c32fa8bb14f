#include "document/ProjectParameters.h"

#include <optional>

#include <QStringList>

namespace lumo {

namespace {

// "0" and "False" are off; "True" and every other integer are on.
std::optional<bool> textToBool(const QString& text) {
  if (text.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0) return true;
  if (text.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0) return false;
  bool ok = false;
  const qlonglong n = text.trimmed().toLongLong(&ok);
  if (!ok) return std::nullopt;
  return n != 0;
}

std::optional<int> textToInt(const QString& text) {
  bool ok = false;
  const int n = text.trimmed().toInt(&ok);
  return ok ? std::optional<int>(n) : std::nullopt;
}

// The value of the first "key=value" item of the description; the text is read item
// by item, so a value never runs past the next ";".
std::optional<QString> valueOf(const QString& description, QLatin1String key) {
  for (const QString& item : description.split(QLatin1Char(';'))) {
    const qsizetype eq = item.indexOf(QLatin1Char('='));
    if (eq > 0 && QStringView(item).left(eq) == key) return item.mid(eq + 1);
  }
  return std::nullopt;
}

}  // namespace

void SaveProjectParametersIntoFileDescription(Version& v) {
  // One multi-argument arg(): a "%1" typed into a name is not substituted again.
  v.IO.IEN_Description = QStringLiteral("VersionName=%1;LockAspectRatio=%2;SnapToGrid=%3;GridCellSize=%4;")
                             .arg(v.VersionName, QString::number(int(v.LayersResizeAspectRatio)),
                                  QString::number(v.LayersSnapToGrid ? -1 : 0), QString::number(v.LayersSnapDist));
}

void ReadProjectParametersFromFileDescription(Version& v) {
  const QString& d = v.IO.IEN_Description;
  if (auto name = valueOf(d, QLatin1String("VersionName"))) v.VersionName = *name;
  if (auto text = valueOf(d, QLatin1String("LockAspectRatio")))
    if (auto mode = textToInt(*text); mode && *mode >= 0 && *mode <= int(AspectRatioMode::iearDefault))
      v.LayersResizeAspectRatio = AspectRatioMode(*mode);
  if (auto text = valueOf(d, QLatin1String("SnapToGrid")))
    if (auto on = textToBool(*text)) v.LayersSnapToGrid = *on;
  if (auto text = valueOf(d, QLatin1String("GridCellSize")))
    if (auto size = textToInt(*text)) v.LayersSnapDist = *size;
}

}  // namespace lumo
