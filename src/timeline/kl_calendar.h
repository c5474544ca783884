// KLCalendar: the timeline's month calendar — the month calendar view on the DST-free calendar,
// styled in the theme's colours and fonts by setUpView. Main thread only.
#pragma once

#include "platform/ui/month_calendar_view.h"

namespace dk {

class KLCalendar : public platform::MonthCalendarView {
 public:
  using MonthCalendarView::MonthCalendarView;
  // Monday first, 50-point header and weekday rows, no days of other months, theme fonts and
  // colours, header "yyyy" in upper case and weekdays as one upper-case letter.
  void setUpView();
};

}  // namespace dk
