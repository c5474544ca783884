#include "platform/foundation/link_header.h"

#include <gtest/gtest.h>

namespace dk::platform {
namespace {

TEST(LinkHeader, ReadsEveryLinkWithItsParameters) {
  auto links = parseLinkHeader(R"(<https://a/1?x=1,2>; rel="prev first"; title="a \"quoted\"; one", <https://a/3>;REL=Next)");
  ASSERT_EQ(links.size(), 2u);
  EXPECT_EQ(links[0].target, "https://a/1?x=1,2");
  EXPECT_EQ(links[0].rel, "prev first");
  ASSERT_EQ(links[0].params.size(), 2u);
  EXPECT_EQ(links[0].params[1], (std::pair<std::string, std::string>{"title", "a \"quoted\"; one"}));
  EXPECT_TRUE(links[0].hasRelation("FIRST"));
  EXPECT_FALSE(links[0].hasRelation("next"));
  EXPECT_EQ(links[1].rel, "Next");
  EXPECT_TRUE(links[1].hasRelation("next"));
}

TEST(LinkHeader, SkipsEmptyAndMalformedElementsOnly) {
  auto links = parseLinkHeader(R"(, <https://a/1>; rel=next; =x, no-brackets; rel=next, <https://a/2>; rel="prev, <x>",)");
  ASSERT_EQ(links.size(), 1u) << "the first element has a parameter without a name";
  EXPECT_EQ(links[0].target, "https://a/2");
  EXPECT_EQ(links[0].rel, "prev, <x>");
  EXPECT_TRUE(parseLinkHeader("").empty());
  EXPECT_TRUE(parseLinkHeader("<https://unterminated; rel=next").empty());
  EXPECT_TRUE(parseLinkHeader(R"(<https://a/1>; rel="unterminated)").empty());
  EXPECT_EQ(linkTargetWithRelation(R"(<https://a/1>; rel=prev; rel=next, <https://a/2>; rel=next)", "next"), "https://a/2");
  EXPECT_EQ(linkTargetWithRelation("<https://a/1>; rel=prev", "next"), std::nullopt);
}

}  // namespace
}  // namespace dk::platform
