#include "model/kl_response.h"

#include <gtest/gtest.h>

namespace dk {
namespace {

using platform::ClassInfo;
using platform::Value;

// A record without a merge override: the base copies every shared key.
class PlainRecord : public KLResponse {
 public:
  static const ClassInfo& staticClassInfo() {
    static const ClassInfo info("PlainRecord", &KLResponse::staticClassInfo(), [] { return std::make_shared<PlainRecord>(); },
                                {platform::property("cameraID", &PlainRecord::cameraID_, {"cameraId"}),
                                 platform::property("title", &PlainRecord::title_, {"title"}),
                                 platform::property("size", &PlainRecord::size_, {"size"})});
    return info;
  }
  const ClassInfo& classInfo() const override { return staticClassInfo(); }
  DK_MODEL_PROPERTY(std::optional<std::string>, title, setTitle);
  DK_MODEL_PROPERTY(std::optional<int64_t>, size, setSize);
};

// A record that keeps what it knows: non-nil values only.
class KeepingRecord : public PlainRecord {
 public:
  static const ClassInfo& staticClassInfo() {
    static const ClassInfo info("KeepingRecord", &PlainRecord::staticClassInfo(),
                                [] { return std::make_shared<KeepingRecord>(); }, {});
    return info;
  }
  const ClassInfo& classInfo() const override { return staticClassInfo(); }
  void mergeMethodForKey(std::string_view key, const platform::ModelPtr& model) override {
    Value v = model->valueForKey(key);
    if (!v.isNil()) setValueForKey(key, v);
  }
};

// Shares "title" with PlainRecord and nothing else.
class Poster : public KLResponse {
 public:
  static const ClassInfo& staticClassInfo() {
    static const ClassInfo info("Poster", nullptr, [] { return std::make_shared<Poster>(); },
                                {platform::property("title", &Poster::title_), platform::property("width", &Poster::width_)});
    return info;
  }
  const ClassInfo& classInfo() const override { return staticClassInfo(); }
  DK_MODEL_PROPERTY(std::optional<std::string>, title, setTitle);
  DK_MODEL_PROPERTY(std::optional<int64_t>, width, setWidth);
};

std::shared_ptr<PlainRecord> record(std::optional<std::string> title, std::optional<int64_t> size) {
  auto r = std::make_shared<PlainRecord>();
  r->setTitle(std::move(title));
  r->setSize(size);
  return r;
}

TEST(KLResponseMerge, NilAndNullSourcesChangeNothing) {
  auto cached = record("front", 3);
  cached->setCameraID(7);
  cached->mergeValuesForKeysFromModel(nullptr);
  cached->mergeValuesForKeysFromModel(Value());
  cached->mergeValuesForKeysFromModel(Value::null());
  EXPECT_EQ(cached->title(), "front");
  EXPECT_EQ(cached->size(), 3);
  EXPECT_EQ(cached->cameraID(), 7);
  cached->mergeValueForKey("title", nullptr);
  EXPECT_EQ(cached->title(), "front") << "the per-key fallback ignores a nil model";
}

TEST(KLResponseMerge, DefaultMergeCopiesNilValuesOverCachedOnes) {
  auto cached = record("front", 3);
  cached->mergeValuesForKeysFromModel(record(std::nullopt, 5));
  EXPECT_FALSE(cached->title().has_value());
  EXPECT_EQ(cached->size(), 5);
}

TEST(KLResponseMerge, OverrideReplacesTheFallbackForEveryKey) {
  auto cached = std::make_shared<KeepingRecord>();
  cached->setTitle("front");
  cached->setSize(3);
  cached->mergeValuesForKeysFromModel(record(std::nullopt, 5));
  EXPECT_EQ(cached->title(), "front");
  EXPECT_EQ(cached->size(), 5);
}

TEST(KLResponseMerge, ForeignClassMergesOnlySharedKeys) {
  auto cached = record("front", 3);
  auto poster = std::make_shared<Poster>();
  poster->setTitle("poster");
  poster->setWidth(640);
  cached->mergeValuesForKeysFromModel(poster);
  EXPECT_EQ(cached->title(), "poster");
  EXPECT_EQ(cached->size(), 3) << "a key the other class lacks is left alone";
  EXPECT_TRUE(cached->valueForKey("width").isNil());
  EXPECT_FALSE(cached->cameraID().has_value()) << "cameraID is shared through KLResponse and was nil";
}

TEST(KLResponseMerge, SourceIsNeverChanged) {
  auto cached = record("front", 3);
  auto reply = record("back", std::nullopt);
  cached->mergeValuesForKeysFromModel(reply);
  EXPECT_EQ(reply->title(), "back");
  EXPECT_FALSE(reply->size().has_value());
}

TEST(KLResponseMapping, BaseMapsNothingSubclassMapsCameraId) {
  EXPECT_TRUE(KLResponse::staticClassInfo().property("cameraID")->jsonKeyPaths.empty());
  auto mapped = platform::modelFromJSON<PlainRecord>(Value::parseJSON(R"({"cameraId": 12, "title": "t"})"));
  ASSERT_TRUE(mapped);
  EXPECT_EQ(mapped->cameraID(), 12);
  auto base = platform::modelFromJSON<KLResponse>(Value::parseJSON(R"({"cameraId": 12})"));
  ASSERT_TRUE(base);
  EXPECT_FALSE(base->cameraID().has_value());
}

// A list that records which fallback ran, and has a key-specific merge for "tag".
class RecordingList : public KLListResponse {
 public:
  static const ClassInfo& staticClassInfo() {
    static ClassInfo* info = [] {
      auto* i = new ClassInfo("RecordingList", &KLListResponse::staticClassInfo(),
                              [] { return std::make_shared<RecordingList>(); },
                              {platform::property("tag", &RecordingList::tag_)});
      i->setKeyMerge("tag", [](platform::Model& self, const platform::ModelPtr& other) {
        static_cast<RecordingList&>(self).calls.push_back(other ? "tag:model" : "tag:nil");
      });
      return i;
    }();
    return *info;
  }
  const ClassInfo& classInfo() const override { return staticClassInfo(); }
  void mergeMethodForKey(std::string_view key, const platform::ModelPtr& model) override {
    calls.push_back("plain:" + std::string(key));
    KLListResponse::mergeMethodForKey(key, model);
  }
  void mergeMethodForKey(std::string_view key, const platform::ModelPtr& model, bool partial) override {
    calls.push_back("partial:" + std::string(key) + (partial ? ":yes" : ":no"));
    KLListResponse::mergeMethodForKey(key, model, partial);
  }
  std::vector<std::string> calls;
  DK_MODEL_PROPERTY(std::optional<std::string>, tag, setTag);
};

TEST(KLListResponse, NewListHasEmptyValuesAndNoObjectDictionary) {
  KLListResponse list;
  EXPECT_TRUE(list.values().isArray());
  EXPECT_EQ(list.values().count(), 0u);
  EXPECT_TRUE(KLListResponse::objectDictionaryFromDictionary(Value(platform::ValueDictionary{{"a", 1}})).isNil());
}

TEST(KLListResponse, MapsValuesAndKeepsNonArraysAsSent) {
  auto list = platform::modelFromJSON<KLListResponse>(Value::parseJSON(R"({"values": ["a", "b"]})"));
  ASSERT_TRUE(list);
  EXPECT_EQ(list->values().count(), 2u);
  auto missing = platform::modelFromJSON<KLListResponse>(Value::parseJSON(R"({"other": 1})"));
  EXPECT_TRUE(missing->values().isArray()) << "a missing key keeps the empty array of init";
  auto nulled = platform::modelFromJSON<KLListResponse>(Value::parseJSON(R"({"values": null})"));
  EXPECT_TRUE(nulled->values().isNil());
}

TEST(KLListResponse, PartialFlagNoIsThePlainMerge) {
  auto source = std::make_shared<RecordingList>();
  source->setValues(Value(platform::ValueArray{1, 2}));
  RecordingList plain, flagged, partial;
  plain.mergeValueForKey("values", source);
  flagged.mergeValueForKey("values", source, false);
  partial.mergeValueForKey("values", source, true);
  EXPECT_EQ(plain.calls, (std::vector<std::string>{"plain:values"}));
  EXPECT_EQ(flagged.calls, plain.calls);
  EXPECT_EQ(flagged.values(), plain.values());
  EXPECT_EQ(partial.calls, (std::vector<std::string>{"partial:values:yes"}));
  EXPECT_EQ(partial.values().count(), 2u) << "the base partial merge copies too";
}

TEST(KLListResponse, KeySpecificMergeWinsEvenForNilModels) {
  RecordingList list;
  auto source = std::make_shared<RecordingList>();
  list.mergeValueForKey("tag", source);
  list.mergeValueForKey("tag", nullptr, true);
  list.mergeValueForKey("values", nullptr);
  EXPECT_EQ(list.calls, (std::vector<std::string>{"tag:model", "tag:nil"}));
  EXPECT_EQ(list.values().count(), 0u);
}

TEST(KLListResponse, MergeOfAllKeysVisitsSharedKeysOnly) {
  RecordingList list;
  auto plainList = std::make_shared<KLListResponse>();
  plainList->setValues(Value(platform::ValueArray{"x"}));
  list.mergeValuesForKeysFromModel(plainList);
  EXPECT_EQ(list.calls, (std::vector<std::string>{"plain:values"})) << "\"tag\" is not a key of the source";
  list.mergeValuesForKeysFromModel(Value::null());
  EXPECT_EQ(list.calls.size(), 1u);
}

}  // namespace
}  // namespace dk
