#include "time_strip_pictures.h"

#include <cmath>
#include <cstdio>

#include "foundation/color_manager.h"
#include "foundation/date_formatting.h"
#include "live/kl_data_manager.h"
#include "platform/dispatch/run_loop.h"
#include "platform/ui/render.h"
#include "platform/ui/table_view.h"
#include "platform/ui/view_controller.h"
#include "platform/ui/window.h"
#include "timeline/event_manager_lookups.h"
#include "timeline/kl_time_range_adapter.h"
#include "timeline/kl_timeline_data_source.h"
#include "timeline/kl_timeline_interval_option.h"
#include "timeline/kl_timeline_table_view_cell.h"
#include "timeline/timeline_event_adapter.h"
#include "timeline/timeline_recording_adapter.h"

namespace {

using dk::platform::Rect;

// Where the strip's columns start, as the timeline screen lays them out.
class StripLayout : public dk::KLTimelineTableViewCellDelegate {
 public:
  double recordingsRenderViewOffsetFromLeft() override { return 62; }
  double eventsRenderViewOffsetFromLeft() override { return 78; }
  bool shouldHideActionButtonForEvent(const dk::KLTimelineEventPtr&) override { return false; }
};

constexpr double kMargin = 40;  // room for the labels and cards of the edge rows

dk::platform::ImagePtr drawWindow(dk::platform::View& root, const std::shared_ptr<dk::KLTimelineDataSource>& source,
                                  double top) {
  auto frame = std::make_shared<dk::platform::View>(Rect(0, 0, 320, 480 + 2 * kMargin));
  frame->setBackgroundColor(dk::platform::Color::whiteColor());
  auto table = std::make_shared<dk::platform::TableView>(Rect(0, kMargin, 320, 480));
  table->setClipsToBounds(false);
  table->setRowHeight(80);
  table->setShowsVerticalScrollIndicator(false);
  source->registerCellsForTableView(*table);
  auto adapter = std::make_shared<dk::KLTimeRangeAdapter>();
  adapter->setDataSource(source);
  table->setDataSource(adapter);
  table->setDelegate(adapter);
  frame->addSubview(table);
  root.addSubview(frame);
  adapter->reloadTableView(*table, false);
  adapter->scrollToTime(top, static_cast<dk::platform::ScrollView&>(*table), false);
  table->layoutIfNeeded();
  // The thumbnails arrive from the cloud.
  dk::platform::MainRunLoop::runUntilIdle(60);
  table->layoutIfNeeded();
  auto image = dk::platform::renderViewToImage(*frame, 2);
  frame->removeFromSuperview();
  return image;
}

}  // namespace

std::vector<TimeStripPicture> writeTimeStripPictures(const std::shared_ptr<dk::KLDataManager>& data, int64_t cameraId,
                                                     const std::filesystem::path& directory) {
  std::vector<TimeStripPicture> pictures;
  const auto recordings = data->recordingManager()->recordingsForCameraID(cameraId)->recordings();
  const auto events = data->eventManager()->eventsForCameraID(cameraId)->events();
  if (recordings.empty()) return pictures;
  std::filesystem::create_directories(directory);
  // The facade's default look.
  dk::ColorManager::setPrimaryColors("#0c94c8");
  dk::ColorManager::setSecondaryColors("#333333");

  auto window = std::make_shared<dk::platform::Window>(Rect(0, 0, 320, 640));
  window->setRootViewController(std::make_shared<dk::platform::ViewController>());
  window->makeKeyAndVisible();
  auto layout = std::make_shared<StripLayout>();
  auto lookups = std::make_shared<dk::EventManagerLookups>(data->eventManager());

  const auto& newest = recordings.front();
  const double newestTime = newest->endSeconds().value_or(newest->startSeconds().value_or(0));
  struct Level {
    unsigned long interval;
    const char* name;
  };
  const Level levels[] = {{dk::KLTimelineIntervalThreeMinutes, "3min"},
                          {dk::KLTimelineIntervalFifteenMinutes, "15min"},
                          {dk::KLTimelineIntervalOneHour, "1hour"}};
  for (const auto& level : levels) {
    auto option = dk::KLTimelineIntervalOption::optionWithInterval(level.interval);
    auto source = std::make_shared<dk::KLTimelineDataSource>(option, lookups);
    source->setCellDelegate(layout);
    source->updateWithRecordings(dk::TimelineRecordingAdapter::makeList(recordings));
    source->updateWithEvents(dk::TimelineEventAdapter::makeList(std::vector<dk::KLEventPtr>(events.begin(), events.end())));
    const double span = option->rowTimeInterval() * 6;  // six rows a screen
    for (int dayBack = 0; dayBack < 2; ++dayBack) {
      // The window's top a little above the newest recording's end (or a day before it).
      const double top = newestTime - dayBack * 86400.0 + span * 0.1;
      auto image = drawWindow(*window->rootViewController()->view(), source, top);
      const auto file = directory / (std::string("timeline_") + level.name + (dayBack ? "_day_before" : "") + ".png");
      if (!image || !image->writePNG(file.string())) continue;
      size_t inWindow = 0;
      for (const auto& event : events) {
        const double t = event->timestamp().value_or(0);
        inWindow += t <= top && t > top - span;
      }
      char text[200];
      std::snprintf(text, sizeof text, "%s zoom (%.0f min a screen), %s to %s: %zu events in view", level.name,
                    span / 60,
                    dk::stringDateIn24HFormatFromDate(top - span, "dd MMM HH:mm").c_str(),
                    dk::stringDateIn24HFormatFromDate(top, "HH:mm").c_str(), inWindow);
      pictures.push_back({file, text});
    }
  }
  return pictures;
}
