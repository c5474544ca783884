#include "model/kl_wifi_response.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "model_test_support.h"

namespace dk {
namespace {

using platform::Value;

KLWiFiPtr wifi(std::string_view jsonText) { return test::mapped<KLWiFiResponse>(jsonText); }

std::vector<std::string> names(const WiFis& wifis) {
  std::vector<std::string> out;
  for (const auto& w : wifis) out.push_back(w->wifiID().value_or("<none>"));
  return out;
}

KLWiFiListPtr wifiReply(std::string_view jsonText) { return test::mapped<KLWiFiListResponse>(jsonText); }

TEST(KLWiFiRecord, KeyVariations) {
  EXPECT_EQ(wifi(R"({"essid": "Home"})")->wifiID(), "Home");
  EXPECT_EQ(wifi(R"({"ssid": "Main", "essid": "Alt"})")->wifiID(), "Main") << "the primary key wins";
  EXPECT_EQ(wifi(R"({"status": "connected"})")->state(), "connected");
  EXPECT_EQ(wifi(R"({"id": 17})")->networkID(), "17");
  EXPECT_FALSE(wifi(R"({"password": "x"})")->wifiID());
  auto stored = wifi(R"({"ssid": "A"})");
  stored->setWifiID("B");
  EXPECT_EQ(stored->wifiID(), "B") << "a stored value wins over the variations";
  EXPECT_EQ(wifi(R"({"encryption": 2})")->encryption(), "2");
  EXPECT_EQ(wifi(R"({"encryption": "wpa2"})")->encryption(), "wpa2");
}

TEST(KLWiFiRecord, StrengthLevels) {
  EXPECT_EQ(wifi(R"({"strength": "low"})")->wifiStrength(), 0);
  EXPECT_EQ(wifi(R"({"strength": "medium"})")->wifiStrength(), 1);
  EXPECT_EQ(wifi(R"({"strength": "high"})")->wifiStrength(), 2);
  EXPECT_EQ(wifi(R"({"strength": "unknown", "strengthPercentage": 10})")->wifiStrength(), 2);
  EXPECT_EQ(wifi(R"({})")->wifiStrength(), 0);
  const std::pair<int, int> cases[] = {{50, 0}, {51, 1}, {75, 1}, {76, 2}, {-1, 2}, {0, 0}, {100, 2}};
  for (auto [percent, level] : cases) {
    KLWiFiResponse w;
    w.setStrengthPercentage(percent);
    EXPECT_EQ(w.wifiStrength(), level) << percent;
  }
  KLWiFiResponse w;
  w.setWifiStrength(2);
  EXPECT_EQ(w.wifiStrength(), 0) << "the level is always derived";
}

TEST(KLWiFiRecord, MergeKeepsWhatTheReplyLacks) {
  auto cached = wifi(R"({"ssid": "Home", "password": "secret", "strength": "low", "preferred": true})");
  cached->mergeValuesForKeysFromModel(wifi(R"({"ssid": "Home", "strength": "high"})"));
  EXPECT_EQ(cached->password(), "secret");
  EXPECT_EQ(cached->preferred(), true);
  EXPECT_EQ(cached->wifiStrength(), 2);
  // An empty variations dictionary changes nothing either.
  cached->mergeValuesForKeysFromModel(wifi(R"({"password": "new"})"));
  EXPECT_EQ(cached->wifiID(), "Home");
  EXPECT_EQ(cached->password(), "new");
}

TEST(KLModemRecord, IdentifierIsTheConfiguration) {
  auto modem = platform::modelFromJSON<KLModemResponse>(test::json(R"({"id": "cfg-1", "imsi": "2620", "ssid": "LTE", "enabled": 1})"));
  EXPECT_EQ(modem->configID(), "cfg-1");
  EXPECT_EQ(modem->imsi(), "2620");
  EXPECT_FALSE(modem->networkID());
  EXPECT_FALSE(modem->enabled());
  EXPECT_EQ(modem->wifiID(), "LTE");
}

TEST(KLWiFiList, MappingDeduplicatesVisibleAndSaved) {
  auto list = wifiReply(R"({"wifiVisible": [{"ssid": "A"}, {"ssid": "A", "strength": "high"}, {"password": "none"}],
                        "wifiSaved": "oops", "wifiStatus": [{"ssid": "B"}]})");
  ASSERT_EQ(list->visible().size(), 1u);
  EXPECT_FALSE(list->visible()[0]->strength()) << "the first of an SSID wins";
  EXPECT_TRUE(list->saved().empty());
  EXPECT_EQ(names(list->status()), (std::vector<std::string>{"B"}));
  EXPECT_TRUE(list->networks().empty()) << "values come from merging only";
  EXPECT_TRUE(KLWiFiListResponse::transformerForWifis(Value("x")).isNil());
}

TEST(KLWiFiList, MergesTheThreeListsIntoOneSortedUnion) {
  auto cached = std::make_shared<KLWiFiListResponse>();
  cached->mergeValuesForKeysFromModel(wifiReply(R"({
      "wifiStatus": [{"ssid": "Home", "strength": "medium"}],
      "wifiVisible": [{"ssid": "Cafe", "strength": "high"}, {"ssid": "Home"}, {"ssid": "attic", "strength": "low"}],
      "wifiSaved": [{"ssid": "Office", "preferred": false}, {"ssid": "Home", "password": "pw"}, {"ssid": "Lab", "preferred": true}]})"));
  EXPECT_EQ(names(cached->networks()), (std::vector<std::string>{"Home", "Lab", "Office", "Cafe", "attic"}));
  auto home = cached->networks()[0];
  EXPECT_EQ(home->password(), "pw") << "one record per network, merged";
  EXPECT_EQ(names(cached->savedAndOrVisible()), (std::vector<std::string>{"Lab", "Office", "Cafe", "attic"}))
      << "the connected network is never offered, even when saved";

  // A later status reply: the same record object is updated, nothing is added twice.
  cached->mergeValuesForKeysFromModel(wifiReply(R"({"wifiStatus": [{"ssid": "Home", "strength": "high"}]})"));
  EXPECT_EQ(cached->networks().size(), 5u);
  EXPECT_EQ(cached->networks()[0], home);
  EXPECT_EQ(home->wifiStrength(), 2);
  EXPECT_TRUE(cached->isStatusWifi(home));
  EXPECT_FALSE(cached->isSavedWifi(home)) << "each list is the latest reply's; the union keeps every network";
  EXPECT_FALSE(cached->isVisibleWifi(nullptr));
  EXPECT_FALSE(cached->isSavedWifi(std::make_shared<KLWiFiResponse>()));
}

TEST(KLWiFiList, StatusEntriesWithoutSSIDDoNotPileUp) {
  auto cached = std::make_shared<KLWiFiListResponse>();
  for (int i = 0; i < 3; ++i) {
    cached->mergeValuesForKeysFromModel(wifiReply(R"({"wifiStatus": [{"state": "disconnected"}, {"ssid": "Home"}, {"ssid": "Home"}]})"));
  }
  EXPECT_EQ(names(cached->networks()), (std::vector<std::string>{"Home"}));
  EXPECT_EQ(cached->status().size(), 3u) << "the status list itself is as sent";
}

TEST(KLWiFiList, SortOrderIsTotalWhateverTheInputOrder) {
  auto list = std::make_shared<KLWiFiListResponse>();
  list->setStatus({wifi(R"({"ssid": "Connected"})")});
  list->setSaved({wifi(R"({"ssid": "S-weak", "strength": "low"})"), wifi(R"({"ssid": "S-pref", "preferred": true, "strength": "low"})"),
                  wifi(R"({"ssid": "S-strong", "strength": "high"})"), wifi(R"({"ssid": "s-strong", "strength": "high"})")});
  list->setVisible({wifi(R"({"ssid": "V-mid", "strength": "medium"})"), wifi(R"({"ssid": "V-high", "strengthPercentage": 90})")});
  WiFis all = list->status();
  for (const auto& w : list->saved()) all.push_back(w);
  for (const auto& w : list->visible()) all.push_back(w);
  const auto expected = std::vector<std::string>{"Connected", "S-pref", "S-strong", "s-strong", "S-weak", "V-high", "V-mid"};
  std::mt19937 rng(7);
  for (int round = 0; round < 20; ++round) {
    std::shuffle(all.begin(), all.end(), rng);
    auto sorted = names(list->sortWifisByStrengthAndName(all));
    // "S-strong" and "s-strong" differ only by case: their order is fixed by the sort's stability.
    std::replace(sorted.begin(), sorted.end(), std::string("s-strong"), std::string("S-strong"));
    auto want = expected;
    std::replace(want.begin(), want.end(), std::string("s-strong"), std::string("S-strong"));
    EXPECT_EQ(sorted, want);
  }
  EXPECT_TRUE(list->sortWifisByStrengthAndName({}).empty());
}

TEST(KLWiFiList, FlushEmptiesTheListsAndDropsTheCache) {
  auto cached = std::make_shared<KLWiFiListResponse>();
  cached->mergeValuesForKeysFromModel(wifiReply(R"({"wifiStatus": [{"ssid": "Home"}], "wifiSaved": [{"ssid": "Home"}, {"ssid": "Work"}]})"));
  EXPECT_EQ(names(cached->savedAndOrVisible()), (std::vector<std::string>{"Work"}));
  cached->setSuccessError(3);
  cached->flushWiFiList();
  EXPECT_TRUE(cached->status().empty());
  EXPECT_TRUE(cached->saved().empty());
  EXPECT_EQ(cached->successError(), 0);
  EXPECT_TRUE(cached->savedAndOrVisible().empty()) << "nothing is saved or visible any more";
  EXPECT_EQ(cached->networks().size(), 2u) << "values only grow";
}

}  // namespace
}  // namespace dk
