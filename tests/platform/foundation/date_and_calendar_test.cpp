#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/foundation/base64.h"
#include "platform/foundation/calendar.h"
#include "platform/foundation/string_case.h"
#include "platform/foundation/date_formatter.h"
#include "platform/foundation/time_zone.h"

namespace dk::platform {
namespace {

TimeZone berlin() { return *TimeZone::named("Europe/Berlin"); }

// 2024-03-31 is the spring change in Berlin (02:00 → 03:00), 2024-10-27 the autumn one.
constexpr double kWinterNoon = 1705320000;     // 2024-01-15 12:00:00 UTC
constexpr double kSummerNoon = 1721044800;     // 2024-07-15 12:00:00 UTC
constexpr double kBeforeSpring = 1711839600;   // 2024-03-31 00:00 +01:00

TEST(TimeZone, NamedZonesFollowDaylightSavingFixedOnesDoNot) {
  EXPECT_EQ(berlin().secondsFromGMT(kWinterNoon), 3600);
  EXPECT_EQ(berlin().secondsFromGMT(kSummerNoon), 7200);
  auto fixed = TimeZone::withSecondsFromGMT(3600);
  EXPECT_EQ(fixed.identifier(), "GMT+0100");
  EXPECT_TRUE(fixed.isFixedOffset());
  EXPECT_EQ(fixed.secondsFromGMT(kSummerNoon), 3600);
  EXPECT_EQ(TimeZone::withSecondsFromGMT(-(5 * 3600 + 30 * 60)).identifier(), "GMT-0530");
  EXPECT_FALSE(TimeZone::named("Not/AZone").has_value());
}

TEST(TimeZone, TheLocalZoneCanBeReplaced) {
  TimeZone::setLocal(berlin());
  EXPECT_EQ(TimeZone::local().identifier(), "Europe/Berlin");
  TimeZone::setLocal(std::nullopt);
}

TEST(Calendar, DayArithmeticFollowsTheZonesWallClock) {
  auto calendar = Calendar::create(Calendar::Identifier::Gregorian, berlin(), Locale("en_US"));
  // One calendar day across the spring change is 23 hours long.
  auto next = calendar->dateByAddingUnit(kCalendarUnitDay, 1, kBeforeSpring);
  ASSERT_TRUE(next);
  EXPECT_EQ(*next - kBeforeSpring, 23 * 3600);
  EXPECT_EQ(calendar->startOfDay(kBeforeSpring + 12 * 3600), kBeforeSpring);

  auto parts = calendar->components(kCalendarUnitYear | kCalendarUnitMonth | kCalendarUnitDay | kCalendarUnitHour |
                                        kCalendarUnitWeekday,
                                    kSummerNoon);
  EXPECT_EQ(parts.year, 2024);
  EXPECT_EQ(parts.month, 7);
  EXPECT_EQ(parts.day, 15);
  EXPECT_EQ(parts.hour, 14);
  EXPECT_EQ(parts.weekday, 2);  // Monday
  EXPECT_FALSE(parts.minute.has_value());
}

TEST(Calendar, ComponentsRollOverAndDifferencesTruncate) {
  auto calendar = Calendar::create(Calendar::Identifier::Gregorian, TimeZone::gmt());
  DateComponents late;
  late.year = 2024;
  late.month = 12;
  late.day = 31;
  late.hour = 24;
  EXPECT_EQ(calendar->dateFromComponents(late), 1735689600);  // 2025-01-01 00:00 UTC
  EXPECT_EQ(calendar->numberOfDaysInMonth(1708000000), 29);   // February 2024
  EXPECT_EQ(calendar->startOfMonth(1708000000), 1706745600);  // 2024-02-01

  auto days = calendar->componentsBetween(kCalendarUnitDay, 1735689600, 1735689600 + 2.9 * 86400);
  EXPECT_EQ(days.day, 2);
  EXPECT_EQ(calendar->componentsBetween(kCalendarUnitDay, 1735689600, 1735689600 - 1.5 * 86400).day, -1);
  auto months = calendar->componentsBetween(kCalendarUnitMonth | kCalendarUnitDay, 1706745600, 1735689600);
  EXPECT_EQ(months.month, 11);
  EXPECT_EQ(months.day, 0);

  EXPECT_EQ(calendar->dateByAddingUnit(kCalendarUnitMonth, -1, 1711843200), 1709164800);  // 31 Mar → 29 Feb
}

TEST(DateFormatter, PatternsFormatAndParseInTheirZoneAndLocale) {
  auto formatter = DateFormatter::create({.dateFormat = "yyyy-MM-dd'T'HH:mm:ss.SSSXXX",
                                          .locale = Locale("en_US_POSIX"),
                                          .timeZone = TimeZone::withSecondsFromGMT(3600)});
  EXPECT_EQ(formatter->stringFromDate(1616919330.123), "2021-03-28T09:15:30.123+01:00");
  EXPECT_EQ(formatter->dateFromString("2021-03-28T10:15:30.000+02:00"), 1616919330.0);
  EXPECT_EQ(formatter->dateFromString("2021-03-28T10:15:30+02:00"), std::nullopt);
  EXPECT_EQ(formatter->dateFromString("2021-03-28T10:15:30.000+02:00 trailing"), std::nullopt);
  EXPECT_EQ(formatter->dateFromString(""), std::nullopt);

  auto german = DateFormatter::create({.dateFormat = "d MMMM yy", .locale = Locale("de_DE"), .timeZone = TimeZone::gmt()});
  EXPECT_EQ(german->stringFromDate(1735516800), "30 Dezember 24");
  EXPECT_EQ(german->monthSymbols().front(), "Januar");
  EXPECT_EQ(german->monthSymbols().size(), 12u);
}

TEST(DateFormatter, AFractionOfManyDigitsIsRefusedNotACrash) {
  auto formatter = DateFormatter::create({.dateFormat = "yyyy-MM-dd'T'HH:mm:ss.SSSXXX",
                                          .locale = Locale("en_US_POSIX"),
                                          .timeZone = TimeZone::gmt()});
  for (size_t digits : {35u, 40u, 400u}) {
    const std::string text = "2021-03-28T10:15:30." + std::string(digits, '9') + "Z";
    EXPECT_EQ(formatter->dateFromString(text), std::nullopt) << digits;
  }
  EXPECT_EQ(formatter->dateFromString("2021-03-28T10:15:30.1234Z"), 1616926530.123) << "a few extra digits still parse";
  auto compact = DateFormatter::create({.dateFormat = "yyyyMMddHHmmssSSS", .locale = Locale("en_US_POSIX"), .timeZone = TimeZone::gmt()});
  EXPECT_EQ(compact->dateFromString("20210328101530123"), 1616926530.123);
}

TEST(DateFormatter, AStyleReplacesTheCustomFormat) {
  auto formatter = DateFormatter::create({.dateFormat = "dd-MMM-yyyy",
                                          .timeStyle = DateFormatterStyle::Short,
                                          .locale = Locale("en_US"),
                                          .timeZone = TimeZone::gmt()});
  const std::string text = formatter->stringFromDate(1735516800 + 13 * 3600 + 5 * 60);
  EXPECT_NE(text.find("1:05"), std::string::npos) << text;
  EXPECT_EQ(text.find("2024"), std::string::npos) << text;
  EXPECT_EQ(formatter->monthSymbols().at(2), "March");
}

TEST(DateFormatter, OneFormatterServesManyThreads) {
  auto formatter = DateFormatter::create({.dateFormat = "yyyy-MM-dd HH:mm:ss", .locale = Locale("en_US_POSIX"),
                                          .timeZone = TimeZone::gmt()});
  std::vector<std::thread> threads;
  std::vector<int> mismatches(4, 0);
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 200; ++i) {
        const double date = 1600000000 + t * 1000000 + i * 3671;
        auto back = formatter->dateFromString(formatter->stringFromDate(date));
        if (back != date) mismatches[t]++;
      }
    });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(mismatches, std::vector<int>(4, 0));
}

TEST(Base64, RoundTripsAndRejectsGarbage) {
  for (std::string bytes : {std::string(), std::string("a"), std::string("ab"), std::string("abc"), std::string("\0\xff\x10", 3)})
    EXPECT_EQ(base64Decode(base64Encode(bytes)), bytes);
  EXPECT_EQ(base64Encode("hello"), "aGVsbG8=");
  EXPECT_EQ(base64Decode("aGVsbG8"), std::nullopt);
  EXPECT_EQ(base64Decode("aGV$bG8="), std::nullopt);
  EXPECT_EQ(base64Decode("a=Vs"), std::nullopt);
}

}  // namespace
}  // namespace dk::platform

namespace dk::platform {
namespace {

TEST(StringCase, UppercasesByTheLocalesRulesAndTakesWholeFirstLetters) {
  EXPECT_EQ(uppercaseString("m\xC3\xA4rz 2021", Locale("de_DE")), "M\xC3\x84RZ 2021");
  EXPECT_EQ(uppercaseString("istanbul", Locale("tr_TR")), "\xC4\xB0STANBUL");
  EXPECT_EQ(firstLetterUppercased("\xC3\xA9t\xC3\xA9", Locale("fr_FR")), "\xC3\x89");
  EXPECT_EQ(firstLetterUppercased("mon"), "M");
  EXPECT_EQ(firstLetterUppercased(""), "");
}

TEST(StringCase, ProtocolTextFoldsOnlyASCIILettersWhateverTheLocale) {
  EXPECT_TRUE(equalsIgnoringASCIICase("Content-Length", "content-LENGTH"));
  EXPECT_FALSE(equalsIgnoringASCIICase("Content-Length", "Content-Lengths"));
  EXPECT_FALSE(equalsIgnoringASCIICase("Location", "Locati0n"));
  EXPECT_FALSE(equalsIgnoringASCIICase("\xC3\x84", "\xC3\xA4")) << "no letter outside ASCII is folded";
  EXPECT_TRUE(equalsIgnoringASCIICase("", ""));
  EXPECT_EQ(asciiLowercase("HTTPS://Cloud.Example/A\xC3\x84"), "https://cloud.example/a\xC3\x84");
}

}  // namespace
}  // namespace dk::platform
