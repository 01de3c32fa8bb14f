#include <gtest/gtest.h>

#include "document/ProjectParameters.h"

namespace lumo {
namespace {

TEST(ProjectParameters, WrittenExactlyAndReadBack) {
  Version v;
  v.VersionName = QStringLiteral("Warm %1 tones");
  v.LayersResizeAspectRatio = AspectRatioMode::iearGripOnly;
  v.LayersSnapToGrid = true;
  v.LayersSnapDist = 25;
  SaveProjectParametersIntoFileDescription(v);
  EXPECT_EQ(v.IO.IEN_Description,
            QStringLiteral("VersionName=Warm %1 tones;LockAspectRatio=3;SnapToGrid=-1;GridCellSize=25;"));
  Version back;
  back.IO.IEN_Description = v.IO.IEN_Description;
  ReadProjectParametersFromFileDescription(back);
  EXPECT_EQ(back.VersionName, v.VersionName);
  EXPECT_EQ(back.LayersResizeAspectRatio, AspectRatioMode::iearGripOnly);
  EXPECT_TRUE(back.LayersSnapToGrid);
  EXPECT_EQ(back.LayersSnapDist, 25);
}

TEST(ProjectParameters, ReadingRules) {
  struct Case {
    const char* description;
    const char* name;
    bool snap;
    int cell;
    AspectRatioMode mode;
  };
  // The version starts as: name "Before", snap on, cell 7, mode disabled.
  const Case cases[] = {
      {"VersionName=A;B;LockAspectRatio=2;SnapToGrid=0;GridCellSize=5;", "A", false, 5, AspectRatioMode::iearAlways},
      {"VersionName=Only;", "Only", true, 7, AspectRatioMode::iearDisabled},  // absent keys keep values
      {"SnapToGrid=False;", "Before", false, 7, AspectRatioMode::iearDisabled},
      {"SnapToGrid=True;", "Before", true, 7, AspectRatioMode::iearDisabled},
      {"SnapToGrid=5;", "Before", true, 7, AspectRatioMode::iearDisabled},
      {"SnapToGrid=maybe;GridCellSize=x;LockAspectRatio=9;", "Before", true, 7, AspectRatioMode::iearDisabled},
      {"VersionName=;", "", true, 7, AspectRatioMode::iearDisabled},
      {"", "Before", true, 7, AspectRatioMode::iearDisabled},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    Version v;
    v.VersionName = QStringLiteral("Before");
    v.LayersSnapToGrid = true;
    v.LayersSnapDist = 7;
    v.LayersResizeAspectRatio = AspectRatioMode::iearDisabled;
    v.IO.IEN_Description = QString::fromUtf8(c.description);
    ReadProjectParametersFromFileDescription(v);
    EXPECT_EQ(v.VersionName, QString::fromUtf8(c.name));
    EXPECT_EQ(v.LayersSnapToGrid, c.snap);
    EXPECT_EQ(v.LayersSnapDist, c.cell);
    EXPECT_EQ(v.LayersResizeAspectRatio, c.mode);
  }
}

}  // namespace
}  // namespace lumo
