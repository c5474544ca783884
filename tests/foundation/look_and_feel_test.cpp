#include <gtest/gtest.h>

#include <thread>

#include "foundation/color_codes.h"
#include "foundation/color_manager.h"
#include "foundation/data_handler.h"

namespace dk {
namespace {

Color rgb255(int r, int g, int b) { return Color::rgba(r / 255.0, g / 255.0, b / 255.0, 1); }

class LookAndFeel : public ::testing::Test {
 protected:
  ~LookAndFeel() override {
    DataHandler::resetForTesting();
    ColorManager::resetForTesting();
  }
};

TEST_F(LookAndFeel, HexStringsBecomeOpaqueColours) {
  EXPECT_EQ(colorFromHexString("#0c94c8"), rgb255(12, 148, 200));
  EXPECT_EQ(colorFromHexString("#0C94C8"), rgb255(12, 148, 200));
  // Without the leading "#" the first digit is lost: "ff8000" reads as f8000.
  EXPECT_EQ(colorFromHexString("ff8000"), rgb255(0x0f, 0x80, 0x00));
  EXPECT_EQ(colorFromHexString("0c94c8"), rgb255(12, 148, 200));  // c94c8 is the same number
}

TEST_F(LookAndFeel, DegenerateHexStringsDoNotFail) {
  EXPECT_EQ(colorFromHexString(""), rgb255(0, 0, 0));
  EXPECT_EQ(colorFromHexString("#"), rgb255(0, 0, 0));
  EXPECT_EQ(colorFromHexString("#zz"), rgb255(0, 0, 0));
  EXPECT_EQ(colorFromHexString("#12g456"), rgb255(0, 0, 0x12));  // digits stop at the first non-digit
  EXPECT_EQ(colorFromHexString("#0c94c8ff"), rgb255(0x94, 0xc8, 0xff));  // eight digits still fit
  EXPECT_EQ(colorFromHexString("#0c94c8ff0c94c8ff0c94c8ff"), rgb255(255, 255, 255));
  EXPECT_EQ(colorFromHexString(std::string(10000, 'f')), rgb255(255, 255, 255));
}

TEST_F(LookAndFeel, ThemeColoursFollowTheStoreAtEveryCall) {
  EXPECT_EQ(ColorManager::getPrimaryColor(), "");
  EXPECT_EQ(lightColor(), rgb255(0, 0, 0));  // before the facade ran: black, not a failure
  ColorManager::setPrimaryColors(std::string(kKeyLightColor));
  ColorManager::setSecondaryColors(std::string(kKeyDarkColor));
  EXPECT_EQ(lightColor(), rgb255(12, 148, 200));
  EXPECT_EQ(darkColor(), rgb255(0x33, 0x33, 0x33));
  ColorManager::setPrimaryColors("#ff0000");
  EXPECT_EQ(lightColor(), rgb255(255, 0, 0));
  EXPECT_EQ(accentColor(), rgb255(0x80, 0xab, 0x54));
  EXPECT_EQ(specialActionColor(), rgb255(0xd1, 0x37, 0x3a));
}

TEST_F(LookAndFeel, FixedPaletteIsInFractionsOf256) {
  EXPECT_EQ(whiteColorWithAlpha(0.3), Color::rgba(255 / 256.0, 255 / 256.0, 255 / 256.0, 0.3));
  EXPECT_EQ(lightGreyColor(), Color::rgba(237 / 256.0, 237 / 256.0, 237 / 256.0, 1));
  EXPECT_EQ(coolGreyColorWithAlpha(0.5), Color::rgba(151 / 256.0, 152 / 256.0, 157 / 256.0, 0.5));
  EXPECT_EQ(coolGreyColor().alpha, 1);
  EXPECT_EQ(greenishColor(), Color::rgba(77 / 256.0, 217 / 256.0, 99 / 256.0, 1));
  EXPECT_EQ(darkBlueColorWithAlpha(0.8), Color::rgba(58 / 256.0, 61 / 256.0, 81 / 256.0, 0.8));
  EXPECT_EQ(walkthroughColor().red, 50 / 256.0);
  EXPECT_EQ(lightGreyColorWithAlpha(1).green, 170 / 256.0);
  EXPECT_EQ(darkGreyColorWithAlpha(1).blue, 51 / 256.0);
  EXPECT_EQ(blackSemiTransparentColor(), Color::rgba(0, 0, 0, 0.5));
}

TEST_F(LookAndFeel, DataHandlerKeepsTheHostsChoices) {
  EXPECT_EQ(DataHandler::getDataForCustomFont(), 0);
  EXPECT_EQ(DataHandler::getAlbumName(), std::nullopt);
  EXPECT_EQ(DataHandler::getAppGroupName(), std::nullopt);
  DataHandler::setData(1);
  DataHandler::setAlbumName("Timeline");
  DataHandler::setAppGroupName("group.com.example");
  EXPECT_EQ(DataHandler::getDataForCustomFont(), 1);
  EXPECT_EQ(DataHandler::getAlbumName(), "Timeline");
  EXPECT_EQ(DataHandler::getAppGroupName(), "group.com.example");
}

TEST_F(LookAndFeel, StoresAreSafeToReadWhileWritten) {
  std::thread writer([] {
    for (int i = 0; i < 200; ++i) ColorManager::setPrimaryColors(i % 2 ? "#ff0000" : "#00ff00");
  });
  int odd = 0;
  for (int i = 0; i < 200; ++i) {
    Color c = lightColor();
    if (!(c == rgb255(255, 0, 0) || c == rgb255(0, 255, 0) || c == rgb255(0, 0, 0))) ++odd;
  }
  writer.join();
  EXPECT_EQ(odd, 0);
}

}  // namespace
}  // namespace dk
