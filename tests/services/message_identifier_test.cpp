// Identifiers in cloud messages: integers and digit strings are identifiers; bools, fractions,
// signed or partly numeric texts and other kinds are refused, so no handler acts on them.
#include "services/message_identifier.h"

#include <gtest/gtest.h>

namespace dk {
namespace {

using platform::Value;

TEST(MessageIdentifier, IntegersAndDigitStringsAreIdentifiers) {
  EXPECT_EQ(messageIdentifier(Value(int64_t{123})), 123);
  EXPECT_EQ(messageIdentifier(Value(std::string("1001"))), 1001);
  EXPECT_EQ(messageIdentifier(Value(1001.0)), 1001) << "a whole number the JSON wrote with a point";
}

TEST(MessageIdentifier, AnythingElseIsRefused) {
  EXPECT_FALSE(messageIdentifier(Value(true)));
  EXPECT_FALSE(messageIdentifier(Value(12.5)));
  EXPECT_FALSE(messageIdentifier(Value(std::string("-5"))));
  EXPECT_FALSE(messageIdentifier(Value(std::string("12abc"))));
  EXPECT_FALSE(messageIdentifier(Value(std::string(""))));
  EXPECT_FALSE(messageIdentifier(Value(std::string("99999999999999999999999"))));
  EXPECT_FALSE(messageIdentifier(Value()));
  EXPECT_FALSE(messageIdentifier(Value::null()));
}

}  // namespace
}  // namespace dk
