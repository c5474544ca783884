// Paging through a camera's history the way the client does: recordings by the oldest start
// time, events by the next-page "Link" header.
#include <algorithm>
#include <set>

#include "cloud-sim/server_time.h"
#include "sim_fixture.h"

namespace dk::cloudsim::test {
namespace {

using Json = nlohmann::json;

std::string recordingsPath(int64_t camera) {
  return "/rest/v2.2/cameras/" + std::to_string(camera) + "/recordings";
}

class RecordingPaging : public SimTest {};

TEST_F(RecordingPaging, OlderPagesFollowTheOldestStartWithoutGapOrOverlap) {
  start(smallWorld(2, 8));
  const World world = sim->world();
  const int64_t camera = firstCamera();
  std::vector<int64_t> expected;
  for (const Recording& r : world.recordingsOf(camera)) expected.push_back(r.recordingId);
  std::reverse(expected.begin(), expected.end());
  ASSERT_GT(expected.size(), 120u) << "enough history for several pages";

  std::vector<int64_t> seen;
  std::string bound;
  int pages = 0;
  for (; pages < 100; ++pages) {
    std::string target = recordingsPath(camera) + "?limit=40&sortByRecordingIdOrder=desc";
    if (!bound.empty()) target += "&maxTimestamp=" + encodeQueryValue(bound);
    const ClientResponse response = client->get(target, token());
    ASSERT_EQ(response.status, 200) << response.body;
    const Json page = response.json();
    ASSERT_TRUE(page.is_array());
    ASSERT_LE(page.size(), 40u);
    size_t first = 0;
    if (!seen.empty()) {
      // An older page starts with the oldest recording already known.
      ASSERT_FALSE(page.empty());
      EXPECT_EQ(page[0]["recordingId"].get<int64_t>(), seen.back());
      first = 1;
    }
    if (page.size() == first) break;
    for (size_t i = first; i < page.size(); ++i) seen.push_back(page[i]["recordingId"].get<int64_t>());
    bound = page.back()["startTime"].get<std::string>();
  }
  EXPECT_EQ(seen, expected);
  EXPECT_EQ(pages, static_cast<int>((expected.size() + 37) / 39));
}

TEST_F(RecordingPaging, RecordingsCarryTheirBoundsAndTheOpenOneHasNoEnd) {
  start(smallWorld(2, 1));
  const World world = sim->world();
  const ClientResponse response =
      client->get(recordingsPath(firstCamera()) + "?limit=5&sortByRecordingIdOrder=desc", token());
  ASSERT_EQ(response.status, 200);
  const Json page = response.json();
  ASSERT_EQ(page.size(), 5u);
  EXPECT_FALSE(page[0]["closed"].get<bool>());
  EXPECT_FALSE(page[0].contains("endTime"));
  for (size_t i = 1; i < page.size(); ++i) {
    EXPECT_TRUE(page[i]["closed"].get<bool>());
    const auto start = parseServerTime(page[i]["startTime"].get<std::string>());
    const auto end = parseServerTime(page[i]["endTime"].get<std::string>());
    ASSERT_TRUE(start && end);
    EXPECT_LT(*start, *end);
    EXPECT_EQ(page[i]["cameraId"].get<int64_t>(), firstCamera());
    EXPECT_LT(page[i]["recordingId"].get<int64_t>(), page[i - 1]["recordingId"].get<int64_t>());
  }
  EXPECT_EQ(page[1]["startTime"].get<std::string>().substr(23), "+02:00");
}

TEST_F(RecordingPaging, BoundsOrderAndBadParameters) {
  start(smallWorld(2, 2));
  const World world = sim->world();
  const auto all = world.recordingsOf(firstCamera());
  const std::string base = recordingsPath(firstCamera());

  // Without an order the oldest come first.
  ClientResponse response = client->get(base + "?limit=3", token());
  ASSERT_EQ(response.status, 200);
  EXPECT_EQ(response.json()[0]["recordingId"].get<int64_t>(), all.front().recordingId);

  // A lower bound keeps every recording that ends at or after it, the open one included.
  const Recording& middle = all[all.size() / 2];
  const std::string since = formatServerTime(middle.end, world.utcOffsetSeconds);
  response = client->get(base + "?limit=1000&minTimestamp=" + encodeQueryValue(since), token());
  ASSERT_EQ(response.status, 200);
  EXPECT_EQ(response.json().size(), all.size() - all.size() / 2);
  EXPECT_EQ(response.json()[0]["recordingId"].get<int64_t>(), middle.recordingId);

  response = client->get(base + "?limit=0", token());
  EXPECT_EQ(response.status, 400);
  EXPECT_EQ(response.json()["message"], "Invalid value for api attribute 'limit'");
  // "+" sent unescaped is read as a blank, as the cloud reads it.
  response = client->get(base + "?maxTimestamp=2021-03-28T10:15:30.000+02:00", token());
  EXPECT_EQ(response.status, 400);
  EXPECT_EQ(response.json()["message"], "Invalid value for api attribute 'maxTimestamp'");
  response = client->get(base + "?sortByRecordingIdOrder=sideways", token());
  EXPECT_EQ(response.status, 400);

  response = client->get(recordingsPath(99999), token());
  EXPECT_EQ(response.status, 404);
  EXPECT_EQ(response.json()["message"], "Camera not found");
}

TEST_F(RecordingPaging, SingleRecordingBelongsToItsCamera) {
  start(smallWorld(2, 1));
  const World world = sim->world();
  const Recording r = world.recordingsOf(firstCamera()).front();
  ClientResponse response =
      client->get(recordingsPath(firstCamera()) + "/" + std::to_string(r.recordingId), token());
  ASSERT_EQ(response.status, 200);
  EXPECT_EQ(response.json()["recordingId"].get<int64_t>(), r.recordingId);
  response = client->get(recordingsPath(world.cameras[1].cameraId) + "/" + std::to_string(r.recordingId),
                         token());
  EXPECT_EQ(response.status, 404);
}

class EventPaging : public SimTest {
 protected:
  std::vector<Event> expectedEvents(int64_t camera, const std::set<std::string>& types) {
    std::vector<Event> out;
    for (const Event& e : sim->world().eventsOf(camera))
      if (types.empty() || types.count(e.type)) out.push_back(e);
    std::reverse(out.begin(), out.end());
    return out;
  }
};

TEST_F(EventPaging, NextLinksCoverTheWholeHistoryNewestFirst) {
  start(smallWorld(2, 10));
  const int64_t camera = firstCamera();
  const std::set<std::string> types = {"vmdDetected", "pirDetected", "doorbellPressed"};
  const auto expected = expectedEvents(camera, types);
  ASSERT_GT(expected.size(), 90u);

  std::string target = "/rest/v2.4/events?cameraIds=" + std::to_string(camera) +
                       "&limit=30&types=" + encodeQueryValue("vmdDetected,pirDetected,doorbellPressed") +
                       "&includeUrlTypes=none";
  const std::string linkEnd = ">; rel=\"next\"";
  std::vector<int64_t> seen;
  int pages = 0;
  for (; pages < 100; ++pages) {
    const ClientResponse response = client->get(target, token());
    ASSERT_EQ(response.status, 200) << response.body;
    const Json page = response.json();
    ASSERT_TRUE(page.is_array());
    for (const Json& e : page) {
      seen.push_back(e["eventId"].get<int64_t>());
      EXPECT_EQ(e["source"]["sourceId"].get<int64_t>(), camera);
      EXPECT_FALSE(e.contains("streamUrls"));
    }
    const std::string header = response.header("Link");
    if (header.empty()) {
      EXPECT_LE(page.size(), 30u);
      break;
    }
    EXPECT_EQ(page.size(), 30u);
    ASSERT_TRUE(header.size() > linkEnd.size() + 1 && header.front() == '<' &&
                header.compare(header.size() - linkEnd.size(), linkEnd.size(), linkEnd) == 0)
        << header;
    const std::string url = header.substr(1, header.size() - linkEnd.size() - 1);
    ASSERT_EQ(url.rfind(sim->baseUrl() + "/rest/v2.4/events?", 0), 0u) << url;
    // The client turns the link's query into the next request's parameters.
    target = "/rest/v2.4/events?";
    bool first = true;
    for (const auto& [name, value] : splitQueryNaively(url)) {
      target += (first ? "" : "&") + name + "=" + encodeQueryValue(value);
      first = false;
    }
    EXPECT_NE(target.find("types=vmdDetected%2CpirDetected%2CdoorbellPressed"), std::string::npos);
  }
  std::vector<int64_t> want;
  for (const Event& e : expected) want.push_back(e.eventId);
  EXPECT_EQ(seen, want);
  EXPECT_EQ(pages + 1, static_cast<int>((want.size() + 29) / 30));
}

TEST_F(EventPaging, NewerThanATimeComesAtOnceWithoutLink) {
  start(smallWorld(2, 10));
  const int64_t camera = firstCamera();
  const auto all = expectedEvents(camera, {});
  ASSERT_GT(all.size(), 150u);
  const Event& pivot = all[140];
  const std::string since = formatServerTime(pivot.timestamp, 7200);
  const ClientResponse response =
      client->get("/rest/v2.4/events?cameraIds=" + std::to_string(camera) +
                      "&includeUrlTypes=none&minTimestamp=" + encodeQueryValue(since),
                  token());
  ASSERT_EQ(response.status, 200);
  EXPECT_TRUE(response.header("Link").empty());
  const Json page = response.json();
  ASSERT_EQ(page.size(), 141u) << "every event at or after the bound, no page limit";
  EXPECT_EQ(page[0]["eventId"].get<int64_t>(), all[0].eventId);
  EXPECT_EQ(page.back()["eventId"].get<int64_t>(), pivot.eventId);
}

TEST_F(EventPaging, FiltersByCamerasTypesAndAsksForClipAddresses) {
  start(smallWorld(3, 2));
  const World world = sim->world();
  const int64_t a = world.cameras[0].cameraId, b = world.cameras[2].cameraId;
  ClientResponse response = client->get("/rest/v2.4/events?limit=1000&cameraIds=" + std::to_string(a) +
                                            "%2C" + std::to_string(b) + "&types=audioCategorized",
                                        token());
  ASSERT_EQ(response.status, 200);
  size_t expected = 0;
  for (const Event& e : world.events)
    if ((e.cameraId == a || e.cameraId == b) && e.type == "audioCategorized") ++expected;
  ASSERT_GT(expected, 0u);
  EXPECT_EQ(response.json().size(), expected);
  for (const Json& e : response.json()) {
    EXPECT_EQ(e["type"], "audioCategorized");
    EXPECT_TRUE(e["category"].is_string());
  }

  response = client->get("/rest/v2.4/events?limit=1&includeUrlTypes=mp4Https&cameraIds=" + std::to_string(a),
                         token());
  ASSERT_EQ(response.status, 200);
  const Json event = response.json()[0];
  const std::string clip = event["streamUrls"]["mp4Https"];
  const std::string prefix = sim->baseUrl();
  ASSERT_EQ(clip, prefix + "/media/clips/" + std::to_string(event["eventId"].get<int64_t>()) + ".mp4");
  const ClientResponse download = client->get(clip.substr(prefix.size()), token());
  EXPECT_EQ(download.status, 200);
  EXPECT_EQ(download.header("Content-Type"), "video/mp4");

  response = client->get("/rest/v2.4/events?cameraIds=front-door", token());
  EXPECT_EQ(response.status, 400);
}

TEST_F(EventPaging, SingleEventAndDeletion) {
  start(smallWorld(2, 1));
  const World world = sim->world();
  const Event e = world.events.at(world.events.size() / 2);
  const std::string id = std::to_string(e.eventId);
  ClientResponse response = client->get("/rest/v2.4/events/" + id + "?includeUrlTypes=mp4Https", token());
  ASSERT_EQ(response.status, 200);
  EXPECT_EQ(response.json()["eventId"].get<int64_t>(), e.eventId);
  EXPECT_EQ(response.json()["timestamp"], formatServerTime(e.timestamp, world.utcOffsetSeconds));
  EXPECT_TRUE(response.json()["streamUrls"]["mp4Https"].is_string());

  response = client->request("DELETE", "/rest/v2.3/events/" + id, {{"Authorization", "Bearer " + token()}});
  EXPECT_EQ(response.status, 204);
  response = client->get("/rest/v2.4/events/" + id, token());
  EXPECT_EQ(response.status, 404);
  EXPECT_EQ(response.json()["message"], "No such event");
  EXPECT_EQ(sim->world().event(e.eventId), nullptr);

  response = client->request("DELETE", "/rest/v2.3/events?cameraIds=" + std::to_string(e.cameraId),
                             {{"Authorization", "Bearer " + token()}});
  EXPECT_EQ(response.status, 204);
  EXPECT_TRUE(sim->world().eventsOf(e.cameraId).empty());
  response = client->get("/rest/v2.4/events?cameraIds=" + std::to_string(e.cameraId), token());
  EXPECT_EQ(response.json().size(), 0u);
}

}  // namespace
}  // namespace dk::cloudsim::test
