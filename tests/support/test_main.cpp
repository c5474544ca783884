// The main() of every test program: the test thread is the platform's main thread.
#include <gtest/gtest.h>

#include "platform/dispatch/run_loop.h"

int main(int argc, char** argv) {
  dk::platform::MainRunLoop::bindToCurrentThread();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
