#include "timeline/kl_calendar.h"

#include "foundation/calendar_ignoring_dst.h"
#include "foundation/color_codes.h"
#include "ui/fonts.h"

namespace dk {

void KLCalendar::setUpView() {
  setCalendar(calendarWithIgnoringDST());
  setFirstWeekday(2);
  setHeaderHeight(50.0);
  setWeekdayHeight(50.0);
  setClipsToBounds(true);
  setPlaceholderType(platform::CalendarPlaceholderType::None);
  auto& look = appearance();
  look.headerTitleFont = XS_MediumTextFont();
  look.headerTitleColor = lightGreyColor();
  look.headerDateFormat = "yyyy";
  look.weekdayFont = XS_MediumTextFont();
  look.weekdayTextColor = darkColor();
  look.titleWeekendColor = darkColor();
  look.todayColor = platform::Color::clear();
  look.titleFont = XS_RegularTextFont();
  look.titleDefaultColor = darkColor();
  look.titleTodayColor = accentColor();
  look.titlePlaceholderColor = lightGreyColor();
  look.borderRadius = 1.0;
  look.headerMinimumDissolvedAlpha = 0.6;
  look.selectionColor = lightColor();
  look.caseOptions = platform::kCalendarCaseHeaderUsesUpperCase | platform::kCalendarCaseWeekdayUsesSingleUpperCase;
  reloadData();
}

}  // namespace dk
