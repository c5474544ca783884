// KLTimelineIntervalOption: one zoom level of the time strip — how long a row lasts, how often a
// time label is printed, how labels are formatted, and the two tolerances the screen uses when it
// matches the scrolled time to a recording or an event. Six rows fill one screen, so a level spans
// six rows. Immutable once made; safe to share between threads.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/date_formatter.h"
#include "platform/foundation/object.h"

namespace dk {

enum KLTimelineInterval : unsigned long {
  KLTimelineIntervalThreeMinutes = 0,
  KLTimelineIntervalFifteenMinutes = 1,
  KLTimelineIntervalOneHour = 2,
};

class KLTimelineIntervalOptionInterface : public virtual platform::Protocol {
 public:
  virtual double rowTimeInterval() const = 0;
  virtual double timestampInterval() const = 0;
  virtual double recordingOffsetPrecision() const = 0;
  virtual double eventOffsetPrecision() const = 0;
  virtual const std::string& name() const = 0;
  virtual const platform::DateFormatterPtr& formatter() const = 0;
  virtual unsigned long interval() const = 0;
};

class KLTimelineIntervalOption;
using KLTimelineIntervalOptionPtr = std::shared_ptr<const KLTimelineIntervalOption>;

class KLTimelineIntervalOption final : public KLTimelineIntervalOptionInterface {
 public:
  // Any level other than 0 and 1 takes the one-hour settings and keeps the value passed in.
  explicit KLTimelineIntervalOption(unsigned long interval);

  static KLTimelineIntervalOptionPtr optionWithInterval(unsigned long interval);
  static KLTimelineIntervalOptionPtr defaultOption();
  // Level 0 gives 1; every other level the default (2).
  static KLTimelineIntervalOptionPtr zoomOutOptionForInterval(unsigned long interval);
  // Level 2 gives 1; every other level 0.
  static KLTimelineIntervalOptionPtr zoomInOptionForInterval(unsigned long interval);
  // Levels 0, 1 and 2 in that order.
  static std::vector<KLTimelineIntervalOptionPtr> allOptions();

  double rowTimeInterval() const override { return rowTimeInterval_; }
  double timestampInterval() const override { return timestampInterval_; }
  double recordingOffsetPrecision() const override { return recordingOffsetPrecision_; }
  // Always rowTimeInterval x 0.5 x 0.95: a mark "at" a time is within just under half a row.
  double eventOffsetPrecision() const override { return rowTimeInterval_ * 0.5 * 0.95; }
  const std::string& name() const override { return name_; }
  const platform::DateFormatterPtr& formatter() const override { return formatter_; }
  unsigned long interval() const override { return interval_; }

 private:
  double rowTimeInterval_;
  double timestampInterval_;
  double recordingOffsetPrecision_;
  std::string name_;
  platform::DateFormatterPtr formatter_;
  unsigned long interval_;
};

}  // namespace dk
