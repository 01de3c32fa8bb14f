#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "platform/SettingsStore.h"
#include "settings/MainSettings.h"

namespace lumo {
namespace {

class MainSettingsTest : public ::testing::Test {
 protected:
  QString path() const { return dir_.filePath("Lumora.ini"); }
  QTemporaryDir dir_;
};

TEST_F(MainSettingsTest, AFirstStartKeepsEveryDefault) {
  SettingsStore store(path());
  MainSettings settings;
  LoadSettingsFromStore(store, settings);
  EXPECT_EQ(settings, MainSettings{});
  EXPECT_FALSE(settings.window_x.has_value());
  EXPECT_EQ(settings.fZoomFilter, 0);
  EXPECT_EQ(settings.fJPEG_Quality, 85);
  EXPECT_EQ(settings.fJ2000_Rate, 0.95);
}

TEST_F(MainSettingsTest, EveryValueSurvivesASaveAndALoad) {
  MainSettings changed;
  changed.window_x = 10, changed.window_y = -20, changed.window_w = 800, changed.window_h = 600;
  changed.window_m = true;
  changed.fStayOnTop = true;
  changed.fZoomFilter = 18;
  changed.CurrentLanguage = "de";
  changed.fJ2000_Rate = 0.5;
  changed.fSaveFile_RecentFolder = "/home/u/Pictures";
  changed.fCurrentBrushOpacity = 40;
  changed.fCurrentRetouch_WaveAmplitude = 9;
  changed.layers.fCurrentShape = 40;
  changed.layers.fCurrentText_HeaderFontStyle = fsBold | fsUnderline;
  changed.layers.fCurrentPathClosed = true;
  changed.fNewImageCustomBodyColor = 0x123456;
  {
    SettingsStore store(path());
    SaveSettingsToStore(store, changed);
    ASSERT_TRUE(store.flush());
  }
  SettingsStore store(path());
  EXPECT_EQ(store.readText("CurrentText_HeaderFontStyle"), "101");
  EXPECT_EQ(store.readBinary("J2000_Rate")->size(), 8);
  MainSettings loaded;
  LoadSettingsFromStore(store, loaded);
  EXPECT_EQ(loaded, changed);
}

TEST_F(MainSettingsTest, OddStoredValuesAreReadTheSoundWay) {
  SettingsStore store(path());
  store.writeInt("StayOnTop", 2);         // only 1 means on top
  store.writeInt("window_m", 1);          // maximised
  store.writeText("JPEG_Quality", "90");  // wrong kind
  store.writeInt("PNG_Compression", 42);  // out of range
  store.writeInt("zoomfilter", -1);
  store.writeBinary("J2000_Rate", QByteArray(4, '\1'));
  store.writeInt("CurrentShowRulers", 7);  // any non-zero value is true
  store.writeText("CurrentText_FormattedFontStyle", "01");  // a missing position is "0"
  MainSettings settings;
  LoadSettingsFromStore(store, settings);
  EXPECT_FALSE(settings.fStayOnTop);
  EXPECT_TRUE(settings.window_m);
  EXPECT_EQ(settings.fJPEG_Quality, 85);
  EXPECT_EQ(settings.fPNG_Compression, 6);
  EXPECT_EQ(settings.fZoomFilter, 0);
  EXPECT_EQ(settings.fJ2000_Rate, 0.95);
  EXPECT_TRUE(settings.fCurrentShowRulers);
  EXPECT_EQ(settings.layers.fCurrentText_FormattedFontStyle, fsItalic);
}

TEST_F(MainSettingsTest, TheOpenDialogsTrackBarMaximumIsOnlyRead) {
  SettingsStore store(path());
  store.writeInt("OpenDialog_TrackBarMax", 300);
  OpenDialogSettings open;
  LoadOpenDialogSettings(store, open);
  EXPECT_EQ(open.OpenDialog_TrackBarMax, 300);
  open.OpenDialog_X = 5;
  open.OpenDialog_TrackBarMax = 999;
  SaveOpenDialogSettings(store, open);
  EXPECT_EQ(store.readInt("OpenDialog_X"), 5);
  EXPECT_EQ(store.readInt("OpenDialog_TrackBarMax"), 300);
  EXPECT_FALSE(store.contains("OpenDialog_Y"));
}

}  // namespace
}  // namespace lumo
