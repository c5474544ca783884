#include <gtest/gtest.h>
#include "platform/ui/view.h"
TEST(Smoke, Builds) { auto v = std::make_shared<dk::platform::View>(dk::platform::Rect(0,0,10,10)); EXPECT_EQ(v->frame().size.width, 10); }
