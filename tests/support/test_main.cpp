// The main() of every test program: the test thread is the platform's main thread.
#include <gtest/gtest.h>

#include <cstdio>

#include "platform/dispatch/run_loop.h"

namespace {

// A shuffled run says its seed even in brief output, so that a failing order can be repeated.
class ShuffleSeedPrinter : public testing::EmptyTestEventListener {
  void OnTestIterationStart(const testing::UnitTest& unit, int) override {
    if (!GTEST_FLAG_GET(shuffle)) return;
    std::printf("Shuffled with seed %d: --gtest_shuffle --gtest_random_seed=%d repeats the order\n", unit.random_seed(),
                unit.random_seed());
    std::fflush(stdout);
  }
};

}  // namespace

int main(int argc, char** argv) {
  dk::platform::MainRunLoop::bindToCurrentThread();
  testing::InitGoogleTest(&argc, argv);
  testing::UnitTest::GetInstance()->listeners().Append(new ShuffleSeedPrinter);
  return RUN_ALL_TESTS();
}

// Pango runs fontconfig set-up and font matching on threads of its own and hands the results over
// through glib's futex-based locks, which ThreadSanitizer cannot see; the text libraries are not
// instrumented, so what it reports inside them is that hand-over. Our own code stays checked.
extern "C" const char* __tsan_default_suppressions() {
  return "race:libfontconfig.so\n"
         "race:libpangoft2-1.0.so\n"
         "race:libpango-1.0.so\n"
         "race:libpangocairo-1.0.so\n"
         "race:libglib-2.0.so\n"
         "race:libgobject-2.0.so\n"
         "race:libcairo.so\n"
         "race:libharfbuzz.so\n"
         "race:libfreetype.so\n";
}

// Fontconfig keeps font patterns for the life of the process (pango's matching threads hand some
// over and drop the rest without freeing them); x265 (the media tests' HEVC encoder) leaves a few
// small filter buffers behind when it is closed, and x264 (their H.264 encoder), now and then, a
// block of its own that nothing points to (about one run in ten of the media tests, with no frame
// of ours seen on its stack, which ends inside x264). Nothing of ours is allocated there.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n"
         "leak:libx265.so\n"
         "leak:libx264.so\n";
}
