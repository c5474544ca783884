#include <gtest/gtest.h>

#include "foundation/data_handler.h"
#include "ui/fonts.h"

namespace dk {
namespace {

// Installs a device and font code for one test.
class FontEnvironmentScope {
 public:
  FontEnvironmentScope(long fontCode, int sizeClass, int model) {
    setFontEnvironment({[fontCode] { return fontCode; }, [sizeClass] { return sizeClass; }, [model] { return model; }});
  }
  ~FontEnvironmentScope() { setFontEnvironment({}); }
};

TEST(Fonts, SizeFollowsTheScreenSizeClassAndModel) {
  {
    FontEnvironmentScope env(1, 1, 1);
    EXPECT_EQ(XXS_RegularTextFont().pointSize(), 10);
    EXPECT_EQ(S_RegularTextFont().pointSize(), 16);
  }
  {
    FontEnvironmentScope env(1, 1, 2);
    EXPECT_EQ(XXS_RegularTextFont().pointSize(), 11);
    EXPECT_EQ(XS_RegularTextFont().pointSize(), 12);
  }
  {
    FontEnvironmentScope env(1, 0, 0);
    EXPECT_EQ(XXS_RegularTextFont().pointSize(), 12);
    EXPECT_EQ(XS_MediumTextFont().pointSize(), 14);
    EXPECT_EQ(S_MediumTextFont().pointSize(), 20);
  }
  {
    FontEnvironmentScope env(1, 2, 27);
    EXPECT_EQ(XS_RegularTextFont().pointSize(), 14);
  }
  {
    FontEnvironmentScope env(1, 5, 1);  // an unknown class takes the small size
    EXPECT_EQ(S_RegularTextFont().pointSize(), 17);
  }
}

TEST(Fonts, FontCodeChoosesTheTypeface) {
  {
    FontEnvironmentScope env(1, 0, 0);
    EXPECT_EQ(getFontName(), "Roboto");
    EXPECT_EQ(XS_RegularTextFont().faceName(), "Roboto-Regular");
    EXPECT_FALSE(XS_RegularTextFont().isFallback());
  }
  {
    FontEnvironmentScope env(0, 0, 0);
    EXPECT_EQ(getFontName(), "Poppins");
    const platform::Font f = XS_RegularTextFont();
    EXPECT_EQ(f.faceName(), "Poppins-Regular");
    // Poppins is not installed here: the text still has a face, Roboto's regular one.
    EXPECT_TRUE(f.isFallback());
    EXPECT_EQ(f.family(), "Roboto");
    EXPECT_GT(f.sizeOfText("Today").width, 0);
  }
}

TEST(Fonts, MediumFontsUseTheRegularFace) {
  FontEnvironmentScope env(1, 0, 0);
  EXPECT_EQ(XS_MediumTextFont(), XS_RegularTextFont());
  EXPECT_EQ(S_MediumTextFont(), S_RegularTextFont());
  EXPECT_EQ(S_MediumTextFont().weight(), platform::FontWeight::Regular);
}

TEST(Fonts, WithoutAnEnvironmentTheStoreDefaultsApply) {
  setFontEnvironment({});
  // Font code 0 (the store's initial value) and the simulator's class 0.
  EXPECT_EQ(getFontName(), "Poppins");
  EXPECT_EQ(XXS_RegularTextFont().pointSize(), 12);
}

TEST(Fonts, WithoutAnEnvironmentTheFontCodeTheHostStoresTakesEffect) {
  setFontEnvironment({});
  DataHandler::setData(1);
  EXPECT_EQ(getFontName(), "Roboto");
  DataHandler::resetForTesting();
  EXPECT_EQ(getFontName(), "Poppins");
}

TEST(Fonts, TheEnvironmentIsReadAtEveryCall) {
  long code = 0;
  setFontEnvironment({[&code] { return code; }, [] { return 0; }, [] { return 0; }});
  EXPECT_EQ(getFontName(), "Poppins");
  code = 1;
  EXPECT_EQ(getFontName(), "Roboto");
  setFontEnvironment({});
}

}  // namespace
}  // namespace dk
