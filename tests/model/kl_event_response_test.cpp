#include "model/kl_event_response.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>

#include "foundation/date_formatting.h"
#include "foundation/kl_server.h"
#include "platform/foundation/app_directories.h"
#include "platform/foundation/user_defaults.h"
#include "model_test_support.h"
#include "platform/dispatch/sync.h"

namespace dk {
namespace {

using platform::Value;

KLEventPtr event(std::optional<int64_t> id, std::string type = "vmdDetected") {
  auto e = std::make_shared<KLEventResponse>();
  e->setEventID(id);
  e->setType(std::move(type));
  e->setStringTimestamp(test::serverTime(1616919330.0 + static_cast<double>(id.value_or(0))));
  return e;
}

KLEventListPtr listOf(std::vector<KLEventPtr> events) {
  auto list = std::make_shared<KLEventListResponse>();
  list->setValues(valueArray(events));
  return list;
}

std::vector<int64_t> ids(const KLEventListResponse& list) {
  std::vector<int64_t> out;
  for (const auto& e : list.events()) out.push_back(e->eventID().value_or(-1));
  return out;
}

TEST(KLEventMapping, MapsFieldsAndDerivedValues) {
  auto e = platform::modelFromJSON<KLEventResponse>(test::json(R"({
      "eventId": 42, "timestamp": "2021-03-28T10:15:30.000+02:00", "type": "pirDetected",
      "source": {"sourceId": 7}, "streamUrls": {"mp4Https": "https://clips/42.mp4"},
      "faceId": "f1", "category": "person"})"));
  ASSERT_TRUE(e);
  EXPECT_EQ(e->eventID(), 42);
  EXPECT_EQ(e->cameraID(), 7);
  EXPECT_EQ(e->timestamp(), 1616919330.0);
  EXPECT_EQ(e->eventType(), KLEventTypeInfrared);
  EXPECT_EQ(e->eventFilter(), "pirDetected");
  ASSERT_TRUE(e->urls());
  EXPECT_EQ(e->urls()->mp4Https(), "https://clips/42.mp4");
  EXPECT_EQ(e->faceId(), "f1");
  EXPECT_EQ(e->category(), "person");
  EXPECT_EQ(e->imageURL(), KLServer::sharedInstance()->baseURL() + "/rest/v2.4/events/42.jpg");
  EXPECT_EQ(e->valueForKey("eventType").integerValue(), 1);

  auto noUrls = platform::modelFromJSON<KLEventResponse>(test::json(R"({"eventId": 1, "streamUrls": "x"})"));
  EXPECT_FALSE(noUrls->urls()) << "a stream address that is not an object maps to nothing";
}

TEST(KLEventMapping, EventTypesOutsideTheFourAreOther) {
  EXPECT_EQ(event(1, "vmdDetected")->eventType(), KLEventTypeVideoMotion);
  EXPECT_EQ(event(1, "audioDetected")->eventType(), KLEventTypeAudio);
  EXPECT_EQ(event(1, "audioCategorized")->eventType(), KLEventTypeAudioCategorized);
  EXPECT_EQ(event(1, "personDetected")->eventType(), KLEventTypeOther);
  KLEventResponse untyped;
  EXPECT_EQ(untyped.eventType(), KLEventTypeOther);
  EXPECT_EQ(untyped.eventFilter(), "");
  untyped.setEventType(KLEventTypeAudio);
  EXPECT_EQ(untyped.eventType(), KLEventTypeOther) << "the stored value is never read back";
  EXPECT_FALSE(untyped.imageURL()) << "no address without an identifier";
}

TEST(KLEventDerivedTimes, TimestampFillsTheTextsAndNilKeepsThem) {
  KLEventResponse e;
  e.setStringTimestamp("2021-03-28T10:15:30.000+02:00");
  EXPECT_EQ(e.timestamp(), 1616919330.0);
  ASSERT_TRUE(e.date());
  EXPECT_EQ(*e.date(), dateFromSeconds(1616919330.0));
  EXPECT_EQ(e.time(), calendarComponents(1616919330.0));
  EXPECT_EQ(e.simpleTime(), dk::time(1616919330.0));
  EXPECT_EQ(e.formattedDate(), formattedStringDateFromSeconds(1616919330.0));

  KLEventResponse later;
  later.setStringTimestamp("2021-03-28T10:15:30.000+02:00");
  later.setStringTimestamp(std::nullopt);
  later.setTimestamp(std::nullopt);
  EXPECT_EQ(later.time(), e.time()) << "nil keeps what the last time gave";
  EXPECT_EQ(later.date(), e.date());

  KLEventResponse moved;
  moved.setStringTimestamp("2021-03-28T10:15:30.000+02:00");
  (void)moved.time();
  moved.setTimestamp(1616919330.0 + 3 * 86400);
  EXPECT_EQ(moved.formattedDate(), formattedStringDateFromSeconds(1616919330.0 + 3 * 86400));
}

// Identifiers beyond the 64-bit range are refused rather than clamped to the largest value, where
// every one of them would be the same event. Without its identifier such an event would equal
// only itself, and each fetch of the same page would add it again: it is left out of the page.
TEST(KLEventMapping, EventsWithIdentifiersBeyondSixtyFourBitsAreLeftOutOfThePage) {
  constexpr std::string_view kPage = R"({"events": [
      {"eventId": 18446744073709551615, "type": "vmdDetected"},
      {"eventId": 18446744073709551614, "type": "pirDetected"},
      {"eventId": 9223372036854775808}, {"eventId": -9223372036854775809},
      {"eventId": 1e300}, {"eventId": "99999999999999999999"},
      {"eventId": 9223372036854775807, "type": "audioDetected"}, {"eventId": 7}]})";
  auto list = std::make_shared<KLEventListResponse>();
  for (int fetch = 0; fetch < 3; ++fetch) {
    auto page = platform::modelFromJSON<KLEventListResponse>(test::json(kPage));
    ASSERT_TRUE(page);
    EXPECT_EQ(ids(*page), (std::vector<int64_t>{INT64_MAX, 7}));
    list->mergeValueForKey("values", page);
    EXPECT_EQ(ids(*list), (std::vector<int64_t>{INT64_MAX, 7})) << "fetch " << fetch;
  }
  EXPECT_EQ(list->eventWithID(INT64_MAX)->type(), "audioDetected") << "only the event that really has that identifier";
  // The single-event read of a refused identifier maps to an event without one.
  EXPECT_FALSE(test::mapped<KLEventResponse>(R"({"eventId": 1e300})")->eventID());
}

// Type and category are shared between events of the same value, also past the shared pool's
// bound (a server inventing a value per event), and each event still reads its own.
TEST(KLEventMapping, ManyDistinctCategoriesEachReadBack) {
  std::string json = R"({"events": [)";
  for (int i = 0; i < 1500; ++i) {
    json += (i ? "," : "") + std::string(R"({"eventId": )") + std::to_string(i) + R"(, "category": "c)" +
            std::to_string(i) + R"(", "type": "vmdDetected"})";
  }
  auto page = platform::modelFromJSON<KLEventListResponse>(test::json(json + "]}"));
  ASSERT_EQ(page->numberOfEvents(), 1500u);
  for (int i = 0; i < 1500; i += 149) {
    EXPECT_EQ(page->events()[static_cast<size_t>(i)]->category(), "c" + std::to_string(i));
    EXPECT_EQ(page->events()[static_cast<size_t>(i)]->eventType(), KLEventTypeVideoMotion);
  }
  auto e = page->events()[3];
  e->setCategory(std::nullopt);
  e->setFaceId("f9");
  EXPECT_EQ(e->category(), std::nullopt);
  EXPECT_EQ(page->events()[4]->category(), "c4");
  EXPECT_EQ(e->faceId(), "f9");
  EXPECT_EQ(page->events()[4]->faceId(), std::nullopt);
}

TEST(KLEventEquality, ByIdentifierOrIdentity) {
  auto a = event(5, "vmdDetected");
  auto b = event(5, "pirDetected");
  EXPECT_TRUE(a->isEqual(*b));
  EXPECT_EQ(Value(a), Value(b));
  auto x = event(std::nullopt), y = event(std::nullopt);
  EXPECT_FALSE(x->isEqual(*y));
  EXPECT_TRUE(x->isEqual(*x));
  EXPECT_FALSE(a->isEqual(*x));
}

TEST(KLEventMerge, SparseEventNeverErasesKnownFields) {
  auto cached = event(5, "pirDetected");
  cached->setFaceId("face");
  auto sparse = std::make_shared<KLEventResponse>();
  sparse->setEventID(5);
  auto urls = std::make_shared<KLEventURLResponse>();
  urls->setMp4Https("https://clip");
  sparse->setUrls(urls);
  cached->mergeValuesForKeysFromModel(sparse);
  EXPECT_EQ(cached->type(), "pirDetected");
  EXPECT_EQ(cached->faceId(), "face");
  EXPECT_EQ(cached->timestamp(), 1616919335.0);
  ASSERT_TRUE(cached->urls());
  EXPECT_EQ(cached->urls()->mp4Https(), "https://clip");
}

TEST(KLEventList, NewListAndQueues) {
  KLEventListResponse list;
  EXPECT_EQ(list.numberOfEvents(), 0u);
  EXPECT_FALSE(list.getNewestEvent());
  EXPECT_TRUE(list.values().isArray());
  EXPECT_FALSE(list.oldEventsFinishedLoading());
  EXPECT_EQ(list.eventsRequestQueue()->label(), "com.corvexio.EventsRequestQueue");
  EXPECT_EQ(list.initialEventsRequestQueue()->label(), "com.corvexio.InitialEventsRequestQueue");
  EXPECT_EQ(list.eventsHandleQueue()->label(), "com.corvexio.EventsHandleQueue");
  KLEventListResponse other;
  EXPECT_NE(list.eventsHandleQueue(), other.eventsHandleQueue()) << "each list has its own queues";
}

TEST(KLEventList, MapsEventsAndTheNextLink) {
  auto list = platform::modelFromJSON<KLEventListResponse>(test::json(R"({
      "events": [{"eventId": 3}, {"eventId": 2}],
      "responseHeader": {"Link": "<https://cloud/rest/v2.4/events?cursor=abc>; rel=\"next\""}})"));
  ASSERT_TRUE(list);
  EXPECT_EQ(ids(*list), (std::vector<int64_t>{3, 2}));
  EXPECT_EQ(list->nextEventsBatchURL(), "https://cloud/rest/v2.4/events?cursor=abc");
  EXPECT_EQ(list->getNewestEvent()->eventID(), 3);

  auto noHeader = platform::modelFromJSON<KLEventListResponse>(test::json(R"({"events": []})"));
  EXPECT_FALSE(noHeader->nextEventsBatchURL());
  auto notArray = platform::modelFromJSON<KLEventListResponse>(test::json(R"({"events": 4})"));
  EXPECT_TRUE(notArray->values().isNil());
}

TEST(KLEventList, NextLinkAmongSeveralLinks) {
  using L = KLEventListResponse;
  EXPECT_EQ(L::nextPageURLFromLinkHeader("<https://a/p1>; rel=\"prev\", <https://a/p3?x=1,2>; rel=\"next\""),
            "https://a/p3?x=1,2");
  EXPECT_EQ(L::nextPageURLFromLinkHeader("<https://a/n>; rel=\"next\", <https://a/last>; rel=\"last\""), "https://a/n");
  EXPECT_EQ(L::nextPageURLFromLinkHeader("<https://a/n>;rel=next"), "https://a/n");
  EXPECT_EQ(L::nextPageURLFromLinkHeader("<https://a/n>; title=\"x\"; REL=\"Next Last\""), "https://a/n");
  EXPECT_FALSE(L::nextPageURLFromLinkHeader("<https://a/p>; rel=\"prev\""));
  EXPECT_FALSE(L::nextPageURLFromLinkHeader("<https://a/p>; rel=\"nextish\""));
  EXPECT_FALSE(L::nextPageURLFromLinkHeader(""));
  EXPECT_FALSE(L::nextPageURLFromLinkHeader("<https://broken; rel=\"next\""));
  // Quoted parameters may hold "<", ">" and ",": they belong to their link.
  EXPECT_EQ(L::nextPageURLFromLinkHeader("<https://a/p>; title=\"a, <https://evil/x>; rel=next\", <https://a/n>; rel=\"next\""),
            "https://a/n");
  EXPECT_EQ(L::nextPageURLFromLinkHeader("<https://a/n>; rel=\"next\","), "https://a/n") << "a trailing comma";
  EXPECT_EQ(L::nextPageURLFromLinkHeader(", ,<https://a/n>; rel=next , "), "https://a/n");
  EXPECT_FALSE(L::nextPageURLFromLinkHeader("<https://a/p>; rel=\"prev\"; rel=\"next\"")) << "the first rel wins";
  EXPECT_EQ(L::nextPageURLFromLinkHeader("junk; rel=next, <https://a/n>; rel=next"), "https://a/n");
}

TEST(KLEventList, MergeAppendsOnlyNewEventsInPageOrderKeepingCachedObjects) {
  auto one = event(1), two = event(2);
  auto list = listOf({one, two});
  auto page = listOf({event(2), event(3), event(1), event(4), event(5)});
  list->mergeValueForKey("values", page);
  EXPECT_EQ(ids(*list), (std::vector<int64_t>{1, 2, 3, 4, 5}));
  EXPECT_EQ(list->events()[0], one);
  EXPECT_EQ(list->events()[1], two);
  EXPECT_EQ(list->eventWithID(2), two) << "the cached event, not the page's copy";
}

TEST(KLEventList, EventsRepeatedInsideOnePageAreAppendedOnce) {
  auto list = listOf({event(1)});
  auto six = event(6);
  list->mergeValueForKey("values", listOf({six, event(6), event(7), event(7)}));
  EXPECT_EQ(ids(*list), (std::vector<int64_t>{1, 6, 7}));
  EXPECT_EQ(list->eventWithID(6), six);
  // Events without identifiers equal only themselves.
  auto anonymous = event(std::nullopt);
  list->mergeValueForKey("values", listOf({anonymous, anonymous, event(std::nullopt)}));
  EXPECT_EQ(list->numberOfEvents(), 5u);
}

TEST(KLEventList, MergeTouchesOnlyValues) {
  auto list = listOf({event(1)});
  list->setNextEventsBatchURL("https://cached/next");
  auto reply = platform::modelFromJSON<KLEventListResponse>(test::json(R"({
      "events": [{"eventId": 9}], "responseHeader": {"Link": "<https://new/next>; rel=\"next\""}})"));
  list->mergeValuesForKeysFromModel(reply);
  EXPECT_EQ(ids(*list), (std::vector<int64_t>{1, 9}));
  EXPECT_EQ(list->nextEventsBatchURL(), "https://cached/next");
  // Into a fresh list, as the request merge does when no cache is given.
  auto fresh = std::make_shared<KLEventListResponse>();
  fresh->mergeValuesForKeysFromModel(reply);
  EXPECT_EQ(ids(*fresh), (std::vector<int64_t>{9}));
}

TEST(KLEventList, ObjectDictionaryWrapsOneEvent) {
  Value single = test::json(R"({"eventId": 4})");
  Value wrapped = KLEventListResponse::objectDictionaryFromDictionary(single);
  auto list = platform::modelFromJSON<KLEventListResponse>(wrapped);
  ASSERT_TRUE(list);
  EXPECT_EQ(ids(*list), (std::vector<int64_t>{4}));
}

TEST(KLEventList, DeletingRemovesTheEventAndOnlyADownloadedClip) {
  const std::filesystem::path dir = platform::AppDirectories::documents();
  std::ofstream(dir / "71.mp4") << "clip";
  std::ofstream(dir / "72.mp4") << "a file the defaults know nothing of";
  platform::UserDefaults::standard()->setObject(Value("Downloaded"), "Event-71.mp4");

  auto list = listOf({event(71), event(72), event(73)});
  list->deleteEventWithEventID(71);
  list->deleteEventWithEventID(72);
  list->deleteEventWithEventID(999);
  list->eventsHandleQueue()->sync([] {});
  EXPECT_EQ(ids(*list), (std::vector<int64_t>{73}));
  EXPECT_FALSE(std::filesystem::exists(dir / "71.mp4"));
  EXPECT_TRUE(std::filesystem::exists(dir / "72.mp4")) << "a clip never downloaded is not touched";
  EXPECT_FALSE(platform::UserDefaults::standard()->objectForKey("Event-71.mp4").isNil()) << "the defaults entry stays";
  EXPECT_FALSE(list->eventWithID(71));
  platform::UserDefaults::standard()->removeObjectForKey("Event-71.mp4");
  std::filesystem::remove(dir / "72.mp4");
}

TEST(KLEventList, DeletingRemovesEveryEventWithThatIdentifier) {
  // A list can hold one event twice, e.g. set whole from a reply that repeats it.
  auto list = listOf({event(71), event(72), event(71), event(73)});
  list->deleteEventWithEventID(71);
  list->eventsHandleQueue()->sync([] {});
  EXPECT_EQ(ids(*list), (std::vector<int64_t>{72, 73}));
  EXPECT_FALSE(list->eventWithID(71));
}

TEST(KLEventConcurrency, ReadersWhileMergingAndUpdatingInPlace) {
  auto list = std::make_shared<KLEventListResponse>();
  std::atomic<bool> stop{false};
  auto group = platform::DispatchGroup::create();
  auto readers = platform::DispatchQueue::createConcurrent("test.event.readers");
  for (int r = 0; r < 3; ++r) {
    group->async(readers, [&] {
      while (!stop.load()) {
        for (const auto& e : list->events()) {
          (void)e->downloadProgress();
          (void)e->urls();
          (void)e->type();
        }
        (void)list->values();
        (void)list->eventWithID(3);
        (void)list->getNewestEvent();
      }
    });
  }
  for (int64_t page = 0; page < 30; ++page) {
    std::vector<KLEventPtr> events;
    for (int64_t i = 0; i < 20; ++i) events.push_back(event(page * 10 + i));  // half of each page repeats
    list->mergeValueForKey("values", listOf(events));
    if (auto cached = list->eventWithID(page * 10)) {
      cached->setDownloadProgress(0.5);
      auto sparse = std::make_shared<KLEventResponse>();
      sparse->setType("pirDetected");
      cached->mergeValuesForKeysFromModel(sparse);
    }
  }
  stop = true;
  group->wait();
  EXPECT_EQ(list->numberOfEvents(), 30u * 10 + 10);
  EXPECT_EQ(list->eventWithID(0)->type(), "pirDetected");
}

}  // namespace
}  // namespace dk
