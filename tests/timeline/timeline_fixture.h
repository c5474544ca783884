// Shared set-up for the timeline engine's tests: a manual clock, a fresh application and a key
// window, and a recorder of the calls a test cares about.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/dispatch/run_loop.h"
#include "platform/ui/ui_test_driver.h"
#include "platform/ui/view_controller.h"
#include "platform/ui/window.h"
#include "support/manual_clock.h"

namespace dk::test {

class TimelineUiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::resetUiForTesting();
    window_ = std::make_shared<platform::Window>(platform::Rect(0, 0, 320, 640));
    window_->setRootViewController(std::make_shared<platform::ViewController>());
    window_->makeKeyAndVisible();
    platform::MainRunLoop::runUntilIdle();
  }
  void TearDown() override {
    platform::MainRunLoop::runUntilIdle();
    platform::resetUiForTesting();
  }
  platform::View& root() { return *window_->rootViewController()->view(); }
  platform::UiTestDriver driver() { return platform::UiTestDriver(window_); }

  ManualClockScope clock_;
  std::shared_ptr<platform::Window> window_;
};

}  // namespace dk::test
