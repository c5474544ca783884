#include <gtest/gtest.h>

#include <random>
#include <thread>
#include <vector>

#include "foundation/calendar_ignoring_dst.h"
#include "foundation/date_formatting.h"
#include "foundation/date_timeline_helper.h"
#include "foundation/server_timestamp.h"
#include "platform/foundation/locale.h"
#include "platform/foundation/time_zone.h"
#include "support/manual_clock.h"

namespace dk {
namespace {

using platform::Locale;
using platform::TimeZone;

constexpr double kWinterNoon = 1705320000;  // 2024-01-15 12:00 UTC, 13:00 in Berlin
constexpr double kJulyNoon = 1721044800;    // 2024-07-15 12:00 UTC
constexpr double kHour = 3600, kDay = 86400;

// Berlin, English, and a clock in winter: the DST-free offset is +01:00 throughout.
class DateFormattingTest : public ::testing::Test {
 protected:
  DateFormattingTest() : clock_(kWinterNoon) {
    TimeZone::setLocal(TimeZone::named("Europe/Berlin"));
    Locale::setCurrent("en_US");
    Locale::setPreferredLanguages(std::vector<std::string>{"en-US"});
    resetDateCachesForTesting();
  }
  ~DateFormattingTest() override {
    resetDateCachesForTesting();
    TimeZone::setLocal(std::nullopt);
    Locale::setCurrent(std::nullopt);
    Locale::setPreferredLanguages(std::nullopt);
  }
  test::ManualClockScope clock_;
};

TEST_F(DateFormattingTest, ServerTimestampsNeedTheirMilliseconds) {
  EXPECT_EQ(secondsFromStringDate("2021-03-28T10:15:30.000+02:00"), 1616919330);
  EXPECT_EQ(secondsFromStringDate("2021-03-28T10:15:30+02:00"), 0);
  EXPECT_EQ(secondsFromStringDate("2021-03-28T08:15:30.250Z"), 1616919330.25);
  EXPECT_EQ(secondsFromStringDate("2021-03-28T03:15:30.000-05:00"), 1616919330);
  EXPECT_EQ(secondsFromStringDate(""), 0);
  EXPECT_EQ(stringDateFromSeconds(1616919330), "2021-03-28T09:15:30.000+0100");
}

TEST(ServerTimestamp, RefusesWhatTheFormatDoesNotAllow) {
  for (const char* text : {"2021-03-28T10:15:30+02:00", "2021-03-28T10:15:30.0000+02:00", "2021-03-28T10:15:30.+02:00",
                           "2021-03-8T10:15:30.000+02:00", "2021-03-28T1:15:30.000Z", "2021-03-28T10:15:30.000+2",
                           "2021-03-28T10:15:30.000+020", "2021-03-28T10:15:30.000+02:0", "2021-03-28T10:15:30.000+02:00:00",
                           "2021-03-28T10:15:30.000+020000", "2021-03-28T10:15:30.000+0260",
                           "2021-03-28T10:15:30.000z", "2021-03-28t10:15:30.000Z", "2021-02-29T10:15:30.000Z",
                           "2021-04-31T10:15:30.000Z", "2021-03-28T24:00:00.000Z", "2021-03-28T10:60:00.000Z",
                           "2021-03-28T10:15:60.000Z", "2021-03-28T10:15:30.000+19:00", "2021-03-28T10:15:30.000+02:60",
                           "0000-01-01T00:00:00.000Z", "2021-03-28T10:15:30.000+02:00x", " 2021-03-28T10:15:30.000Z",
                           "2021-13-28T10:15:30.000Z", "2021-00-28T10:15:30.000Z", "2021-0-28T10:15:30.000Z",
                           "2021-03-28T1a:15:30.000Z", "2021-03-28T10:15:30.000", "2021-03-28T10:15:30.000+", ""})
    EXPECT_EQ(parseServerTimestamp(text), std::nullopt) << text;
  EXPECT_EQ(parseServerTimestamp("2024-02-29T23:59:59.999+18:00"), 1709186399999 / 1000.0);
}

TEST(ServerTimestamp, ReadsEveryOffsetFormAndShortFractions) {
  EXPECT_EQ(parseServerTimestamp("2021-03-28T10:15:30.000+0200"), 1616919330);
  EXPECT_EQ(parseServerTimestamp("2021-03-28T10:15:30.000+02"), 1616919330);
  EXPECT_EQ(parseServerTimestamp("2021-03-28T03:15:30.000-0500"), 1616919330);
  EXPECT_EQ(parseServerTimestamp("2021-03-28T13:45:30.000+05:30"), 1616919330);
  EXPECT_EQ(parseServerTimestamp("2021-03-28T08:15:30.5Z"), 1616919330.5);
  EXPECT_EQ(parseServerTimestamp("2021-03-28T08:15:30.25Z"), 1616919330.25);
  EXPECT_EQ(parseServerTimestamp("2021-3-28T08:15:30.000Z"), 1616919330);
  // What this library writes, it reads back.
  EXPECT_EQ(secondsFromStringDate(stringDateFromSeconds(1616919330.125)), 1616919330.125);
}

TEST_F(DateFormattingTest, StrictParserAgreesWithIcuOnGeneratedTimestamps) {
  auto icu = timeFormatterForStringTimestamp();
  std::mt19937 random(20240115);
  std::uniform_real_distribution<double> instants(-2208988800.0, 4102444800.0);  // 1900 to 2100
  std::uniform_int_distribution<int> offsets(-14 * 4, 14 * 4);                    // quarter hours
  std::uniform_int_distribution<int> forms(0, 3);
  const char* const zones[] = {"XXX", "XX", "X", "XXX"};  // +02:00, +0200, +02 (whole hours only)
  const char* const fractions[] = {"SSS", "S", "SS", "SSS"};
  int compared = 0;
  for (int i = 0; i < 4000; ++i) {
    const double instant = std::floor(instants(random) * 1000) / 1000;
    const int zoneForm = forms(random);
    const int offset = zoneForm == 2 ? offsets(random) / 4 * 3600 : offsets(random) * 900;
    const int fraction = forms(random);
    const std::string pattern = std::string(forms(random) == 0 ? "yyyy-M-dd" : "yyyy-MM-dd") + "'T'HH:mm:ss." +
                                fractions[fraction] + zones[zoneForm];
    auto formatter = platform::DateFormatter::create(
        {.dateFormat = pattern, .locale = Locale("en_US_POSIX"), .timeZone = TimeZone::withSecondsFromGMT(offset)});
    const std::string text = formatter->stringFromDate(instant);
    auto ours = parseServerTimestamp(text);
    auto theirs = icu->dateFromString(text);
    ASSERT_TRUE(ours.has_value()) << text;
    ASSERT_EQ(ours, theirs) << text;
    ++compared;
  }
  EXPECT_EQ(compared, 4000);
  // Strings ours refuses: ICU refuses them too, or they are forms no server sends.
  EXPECT_FALSE(icu->dateFromString("2021-03-28T10:15:30+02:00").has_value());
  EXPECT_FALSE(icu->dateFromString("2021-03-8T10:15:30.000+02:00").has_value());
  EXPECT_FALSE(parseServerTimestamp("2021-03-28T10:15:30.000+020").has_value());
}

TEST_F(DateFormattingTest, ShortDateUsesTheCalendarYear) {
  // 30 December 2024 is in week 1 of 2025: the week-based year would print "25".
  EXPECT_EQ(dateFormatter()->stringFromDate(1735516800 + 12 * kHour), "30 Dec 24");
  EXPECT_EQ(dateFormatter()->stringFromDate(1704067200 + 12 * kHour), "1 Jan 24");
}

TEST_F(DateFormattingTest, LocaleChangeRebuildsTheLocaleBoundFormattersOnly) {
  auto english = dateFormatter();
  auto timestamps = timeFormatterForSecondsTimestamp();
  EXPECT_EQ(english, dateFormatter());  // cached while the locale stays
  Locale::setCurrent("de_DE");
  auto german = dateFormatter();
  EXPECT_NE(german, english);
  EXPECT_EQ(german->locale(), Locale("de_DE"));
  EXPECT_EQ(german->stringFromDate(1735516800 + 12 * kHour), "30 Dez. 24");
  EXPECT_EQ(monthsInYear().front(), "Dezember");
  EXPECT_EQ(english->stringFromDate(1735516800 + 12 * kHour), "30 Dec 24");  // the old one still works
  EXPECT_EQ(timeFormatterForSecondsTimestamp(), timestamps);
  EXPECT_EQ(timestamps->locale(), Locale("en_US_POSIX"));
  EXPECT_NE(timeFormatter(), nullptr);
  EXPECT_NE(simplifiedTimeFormatter(), nullptr);
}

TEST_F(DateFormattingTest, FormattersAreSafeToShareWhileTheLocaleChanges) {
  std::vector<std::thread> threads;
  std::vector<int> unexpected(4, 0);
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 100; ++i) {
        const std::string text = dateFormatter()->stringFromDate(1735516800 + 12 * kHour);
        if (text != "30 Dec 24" && text != "30 Dez. 24") unexpected[t]++;
        if (parseServerTimestamp(stringDateFromSeconds(1616919330)) != 1616919330) unexpected[t]++;
      }
    });
  for (int i = 0; i < 50; ++i) Locale::setCurrent(i % 2 ? "en_US" : "de_DE");
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(unexpected, std::vector<int>(4, 0));
}

TEST_F(DateFormattingTest, OrdinalSuffixesInEnglishOnly) {
  const double march1 = 1709251200 + 12 * kHour;
  const std::pair<int, const char*> days[] = {{1, "March 1st"},   {2, "March 2nd"},   {3, "March 3rd"},
                                              {4, "March 4th"},   {11, "March 11th"}, {12, "March 12th"},
                                              {13, "March 13th"}, {21, "March 21st"}, {22, "March 22nd"},
                                              {23, "March 23rd"}, {31, "March 31st"}};
  for (auto [day, text] : days) EXPECT_EQ(formattedStringDateFromSeconds(march1 + (day - 1) * kDay), text);
  Locale::setPreferredLanguages(std::vector<std::string>{"fr-FR", "en"});
  EXPECT_EQ(formattedStringDateFromSeconds(march1 + 2 * kDay), "March 3");
}

TEST_F(DateFormattingTest, RelativeDayNames) {
  EXPECT_EQ(stringDateFromDate(kWinterNoon + kHour), "Today");
  EXPECT_EQ(stringDateFromDate(kWinterNoon - kDay), "Yesterday");
  EXPECT_EQ(stringDateFromDate(kWinterNoon - 2 * kDay), "13 Jan 24");
  EXPECT_EQ(stringDate(Today()), "Today");
  EXPECT_EQ(stringDate(Yesterday()), "Yesterday");
  EXPECT_EQ(stringDate(Today() + 1), "15 Jan 24");  // only midnight itself is "Today"
  EXPECT_EQ(Today(), 1705273200);                   // 2024-01-15 00:00 +01:00
  EXPECT_EQ(Yesterday(), 1705273200 - kDay);
  EXPECT_EQ(onlyDateFromDate(kWinterNoon), dateFromSeconds(kWinterNoon));
}

TEST_F(DateFormattingTest, MonthsAndDayCounts) {
  const auto months = monthsInYear();
  ASSERT_EQ(months.size(), 12u);
  EXPECT_EQ(months.front(), "December");
  EXPECT_EQ(months.back(), "January");
  EXPECT_EQ(currentMonthIndex(), 11);  // January
  clock_.clock().set(1733313600);      // 2024-12-04
  EXPECT_EQ(currentMonthIndex(), 0);
  clock_.clock().set(1708000000);  // 2024-02-15
  EXPECT_EQ(numberOfDaysInCurrentMonth(), 29);
  EXPECT_EQ(ordinalOfCurrentDayInCurrentMonth(), 15);

  clock_.clock().set(kWinterNoon);
  EXPECT_EQ(numberOfDaysUntilNowSinceDate("2024-01-20"), 4);
  EXPECT_EQ(numberOfDaysUntilNowSinceDate("2024-01-10"), -5);
  EXPECT_EQ(numberOfDaysUntilNowSinceDate(std::nullopt), 0);
  EXPECT_EQ(numberOfDaysUntilNowSinceDate("soon"), 0);
  EXPECT_EQ(numberOfDaysSinceDate(kWinterNoon, kWinterNoon + 3.5 * kDay), 3);
  EXPECT_EQ(numberOfDaysSinceDate(kWinterNoon, std::nullopt), 0);
}

TEST_F(DateFormattingTest, ComparisonPutsTheArgumentFirst) {
  EXPECT_EQ(compareToDate(10.0, 5.0), platform::kOrderedAscending);
  EXPECT_EQ(compareToDate(5.0, 10.0), platform::kOrderedDescending);
  EXPECT_EQ(compareToDate(5.0, 5.0), platform::kOrderedSame);
  EXPECT_EQ(compareToDate(std::nullopt, 5.0), platform::kOrderedSame);
  EXPECT_EQ(compareToDate(5.0, std::nullopt), platform::kOrderedSame);
}

TEST_F(DateFormattingTest, YesterdayForDateFollowsTheDevicesDaylightSaving) {
  const double summerNoon = 1711879200;  // 2024-03-31 12:00 +02:00, the day clocks went forward
  EXPECT_EQ(summerNoon - YesterdayForDate(summerNoon), 23 * kHour);
  EXPECT_EQ(substract1MonthForDate(1711843200), 1709164800);  // 31 Mar 01:00 → 29 Feb 01:00 (+01:00)
}

TEST_F(DateFormattingTest, TimelineArithmeticOnTheFixedOffset) {
  const double late = 1705358400;  // 2024-01-15 23:40 +01:00
  EXPECT_EQ(roundedDateWithTimeIntervalSince1970(late, 1), 1705359600);  // 00:00 of the 16th
  EXPECT_EQ(roundedDateWithTimeIntervalSince1970(late, -24), 1705273200 + 23 * kHour - kDay);
  EXPECT_EQ(daysBetweenDate(1705359540, 1705359660), 1);  // 23:59 to 00:01 the next day
  EXPECT_EQ(daysBetweenDate(1705359660, 1705359540), -1);
  EXPECT_EQ(daysBetweenDate(kWinterNoon, kWinterNoon + 5 * kHour), 0);
  EXPECT_EQ(monthsBetweenDate(1706655600 + kHour, 1706742000 + kHour), 1);  // 31 Jan to 1 Feb
  EXPECT_EQ(monthsBetweenDate(1706742000, 1704063600), -1);
  EXPECT_EQ(dateByAddingDaysOffset(2, kWinterNoon), kWinterNoon + 2 * kDay);
  EXPECT_EQ(dateWithDaysOffset(kWinterNoon, -1), kWinterNoon - kDay);
  EXPECT_TRUE(isEqualToDateFromTimeInterval(kWinterNoon, 1705273200));
  EXPECT_FALSE(isEqualToDateFromTimeInterval(kWinterNoon, 1705273200 - 1));
  EXPECT_EQ(timeIntervalForMidnight(kWinterNoon), midnightForTimeInterval(kWinterNoon));
}

TEST_F(DateFormattingTest, CalendarKeepsItsFirstOffsetIntoSummer) {
  auto calendar = calendarWithIgnoringDST();
  clock_.clock().set(kJulyNoon);
  EXPECT_EQ(calendarWithIgnoringDST(), calendar);
  EXPECT_EQ(calendar->timeZone().secondsFromGMT(kJulyNoon), 3600);
  // Midnight of 15 July is 00:00 +01:00, one hour after the wall clock's midnight (+02:00).
  EXPECT_EQ(midnight(kJulyNoon), 1721001600 - kHour);
  EXPECT_EQ(midnight(kJulyNoon) - (1721001600 - 2 * kHour), kHour);
  // A formatter made now takes the summer offset.
  EXPECT_EQ(formatterWithIgnoringDST("XXX")->stringFromDate(kJulyNoon), "+02:00");
}

}  // namespace
}  // namespace dk
