#include "timeline/kl_timeline_interval_option.h"

#include "foundation/calendar_ignoring_dst.h"
#include "platform/foundation/bundle.h"
#include "platform/foundation/value.h"

namespace dk {
namespace {

// The host's localised text used as a format with one object argument, the boxed number.
std::string localizedName(std::string_view key, double number) {
  std::string format = platform::Bundle::main()->localizedString(key, "");
  const std::string argument = platform::formatNumber(number);
  if (auto at = format.find("%@"); at != std::string::npos) format.replace(at, 2, argument);
  return format;
}

}  // namespace

KLTimelineIntervalOption::KLTimelineIntervalOption(unsigned long interval) : interval_(interval) {
  switch (interval) {
    case KLTimelineIntervalThreeMinutes:
      rowTimeInterval_ = 30.0;
      timestampInterval_ = 60.0;
      recordingOffsetPrecision_ = 5.0;
      name_ = localizedName("Minutes", 3);
      break;
    case KLTimelineIntervalFifteenMinutes:
      rowTimeInterval_ = 150.0;
      timestampInterval_ = 300.0;
      recordingOffsetPrecision_ = 25.0;
      name_ = localizedName("Minutes", 15);
      break;
    default:
      rowTimeInterval_ = 600.0;
      timestampInterval_ = 900.0;
      recordingOffsetPrecision_ = 100.0;
      name_ = localizedName("Hour", 1);
      break;
  }
  platform::DateFormatterOptions options = formatterOptionsWithIgnoringDST();
  options.dateStyle = platform::DateFormatterStyle::None;
  options.timeStyle = platform::DateFormatterStyle::Short;
  formatter_ = platform::DateFormatter::create(std::move(options));
}

KLTimelineIntervalOptionPtr KLTimelineIntervalOption::optionWithInterval(unsigned long interval) {
  return std::make_shared<const KLTimelineIntervalOption>(interval);
}

KLTimelineIntervalOptionPtr KLTimelineIntervalOption::defaultOption() {
  return optionWithInterval(KLTimelineIntervalOneHour);
}

KLTimelineIntervalOptionPtr KLTimelineIntervalOption::zoomOutOptionForInterval(unsigned long interval) {
  return interval == KLTimelineIntervalThreeMinutes ? optionWithInterval(KLTimelineIntervalFifteenMinutes)
                                                    : defaultOption();
}

KLTimelineIntervalOptionPtr KLTimelineIntervalOption::zoomInOptionForInterval(unsigned long interval) {
  return optionWithInterval(interval == KLTimelineIntervalOneHour ? KLTimelineIntervalFifteenMinutes
                                                                  : KLTimelineIntervalThreeMinutes);
}

std::vector<KLTimelineIntervalOptionPtr> KLTimelineIntervalOption::allOptions() {
  return {optionWithInterval(KLTimelineIntervalThreeMinutes), optionWithInterval(KLTimelineIntervalFifteenMinutes),
          optionWithInterval(KLTimelineIntervalOneHour)};
}

}  // namespace dk
