#include <gtest/gtest.h>

#include <memory>

#include "model/kl_response.h"
#include "network/kl_camera_requests.h"
#include "network/kl_event_requests.h"
#include "network/kl_recording_requests.h"
#include "network/kl_zone_requests.h"
#include "platform/foundation/notification_center.h"

namespace dk {
namespace {

using platform::ClassInfo;
using platform::ErrorPtr;
using platform::ModelPtr;
using platform::Value;
using platform::ValueArray;

// A single record that keeps what it knows (copies non-nil values only).
class Record : public KLResponse {
 public:
  static const ClassInfo& staticClassInfo() {
    static const ClassInfo info("TestRecord", &KLResponse::staticClassInfo(), [] { return std::make_shared<Record>(); },
                                {platform::property("title", &Record::title_, {"title"}),
                                 platform::property("size", &Record::size_, {"size"})});
    return info;
  }
  const ClassInfo& classInfo() const override { return staticClassInfo(); }
  void mergeMethodForKey(std::string_view key, const ModelPtr& model) override {
    Value v = model->valueForKey(key);
    if (!v.isNil()) setValueForKey(key, v);
  }
  DK_MODEL_PROPERTY(std::optional<std::string>, title, setTitle);
  DK_MODEL_PROPERTY(std::optional<int64_t>, size, setSize);
};

// A list whose pages append to what it holds, under a given class name.
template <const char* Name>
class AppendingList : public KLListResponse {
 public:
  static const ClassInfo& staticClassInfo() {
    static const ClassInfo info(Name, &KLListResponse::staticClassInfo(),
                                [] { return std::make_shared<AppendingList>(); }, {});
    return info;
  }
  const ClassInfo& classInfo() const override { return staticClassInfo(); }
  void mergeMethodForKey(std::string_view key, const ModelPtr& model) override {
    if (key != "values") return KLListResponse::mergeMethodForKey(key, model);
    ValueArray merged = values().arrayValue();
    for (const Value& v : model->valueForKey("values").arrayValue()) merged.push_back(v);
    setValues(Value(std::move(merged)));
  }
};

constexpr char kEventListName[] = "KLEventListResponse";
constexpr char kOtherListName[] = "TestOtherList";
using EventList = AppendingList<kEventListName>;
using OtherList = AppendingList<kOtherListName>;

template <typename List>
std::shared_ptr<List> listOf(std::initializer_list<Value> values) {
  auto list = std::make_shared<List>();
  list->setValues(Value(ValueArray(values)));
  return list;
}

ErrorPtr failure() { return platform::Error::make("NSURLErrorDomain", -1001, "The request timed out."); }

TEST(KLRequestMerge, BaseMergeFoldsTheReplyIntoTheCachedModel) {
  KLGetCameraRequest request;
  auto cached = std::make_shared<Record>();
  cached->setTitle("Porch");
  cached->setSize(1);
  auto reply = std::make_shared<Record>();
  reply->setSize(2);

  Value result = request.block()(Value(reply), nullptr, cached);
  EXPECT_EQ(result.objectAs<Record>(), cached);  // the cached object itself, updated in place
  EXPECT_EQ(cached->title(), "Porch");
  EXPECT_EQ(cached->size(), 2);

  // No reply: the target is returned unchanged.
  EXPECT_EQ(request.block()(Value(), nullptr, cached).objectAs<Record>(), cached);
  EXPECT_EQ(cached->size(), 2);
}

TEST(KLRequestMerge, BaseMergeReturnsTheErrorEvenWithATarget) {
  KLGetCameraRequest request;
  auto cached = std::make_shared<Record>();
  ErrorPtr error = failure();
  Value result = request.block()(Value(), error, cached);
  EXPECT_EQ(errorFromResult(result), error);
  EXPECT_EQ(result.objectAs<Record>(), nullptr);
}

TEST(KLRequestMerge, BaseMergeWithoutModelClassOrTargetIsNil) {
  KLDeleteCameraRequest request;  // a DELETE: no model class
  ASSERT_EQ(request.modelClass(), nullptr);
  Value raw = Value::parseJSON(R"({"deleted":true})");
  EXPECT_TRUE(request.block()(raw, nullptr, nullptr).isNil());
  ErrorPtr error = failure();
  EXPECT_EQ(errorFromResult(request.block()(Value(), error, nullptr)), error);
}

TEST(KLRequestMerge, ErrorsTravelAsResultsAndBack) {
  ErrorPtr error = failure();
  Value carried = resultFromError(error);
  EXPECT_TRUE(carried.isObject());
  EXPECT_EQ(errorFromResult(carried), error);
  EXPECT_TRUE(resultFromError(nullptr).isNil());
  EXPECT_EQ(errorFromResult(Value("text")), nullptr);
  EXPECT_EQ(errorFromResult(Value(std::make_shared<Record>())), nullptr);
}

TEST(KLRequestMerge, ListRequestsMergeValuesIntoTheCachedList) {
  auto cached = listOf<OtherList>({Value(1)});
  auto page = listOf<OtherList>({Value(2), Value(3)});
  for (const auto& request : std::vector<std::shared_ptr<KLRequest>>{
           std::make_shared<KLCamerasRequest>(), std::make_shared<KLCamerasStatusRequest>(),
           std::make_shared<KLCamerasModeRequest>(), std::make_shared<KLZonesRequest>()}) {
    SCOPED_TRACE(request->className());
    auto target = listOf<OtherList>({Value(1)});
    Value result = request->block()(Value(page), nullptr, target);
    EXPECT_EQ(result.objectAs<OtherList>(), target);
    EXPECT_EQ(target->values(), Value(ValueArray{Value(1), Value(2), Value(3)}));

    // Without a cached list nothing is merged: nil after a success, the error after a failure.
    EXPECT_TRUE(request->block()(Value(page), nullptr, nullptr).isNil());
    ErrorPtr error = failure();
    EXPECT_EQ(errorFromResult(request->block()(Value(), error, nullptr)), error);
  }
  EXPECT_EQ(cached->values(), Value(ValueArray{Value(1)}));
}

TEST(KLRequestMerge, RecordingPagesMergeIntoTheGivenList) {
  KLCameraRecordingsRequest request;
  auto cached = listOf<OtherList>({Value("r1")});
  auto page = listOf<OtherList>({Value("r2")});
  Value result = request.block()(Value(page), nullptr, cached);
  EXPECT_EQ(result.objectAs<OtherList>(), cached);
  EXPECT_EQ(cached->values(), Value(ValueArray{Value("r1"), Value("r2")}));
}

TEST(KLRequestMerge, NewEventsUpdateTheCacheButHandBackTheFreshPage) {
  for (const auto& request : std::vector<std::shared_ptr<KLRequest>>{std::make_shared<KLNewEventsRequest>(),
                                                                      std::make_shared<KLOldEventsRequest>()}) {
    SCOPED_TRACE(request->className());
    auto cached = listOf<EventList>({Value("e1")});
    auto page = listOf<EventList>({Value("e2")});
    Value result = request->block()(Value(page), nullptr, cached);
    EXPECT_EQ(result.objectAs<EventList>(), page);
    EXPECT_EQ(cached->values(), Value(ValueArray{Value("e1"), Value("e2")}));
    EXPECT_EQ(page->values(), Value(ValueArray{Value("e2")}));

    // A cache whose values are nil, or of another class, is left alone.
    auto empty = std::make_shared<EventList>();
    empty->setValues(Value());
    EXPECT_EQ(request->block()(Value(page), nullptr, empty).objectAs<EventList>(), page);
    EXPECT_TRUE(empty->values().isNil());
    auto other = listOf<OtherList>({Value("x")});
    EXPECT_EQ(request->block()(Value(page), nullptr, other).objectAs<EventList>(), page);
    EXPECT_EQ(other->values(), Value(ValueArray{Value("x")}));

    // Without a reply the result is the error, and the cache is untouched.
    ErrorPtr error = failure();
    EXPECT_EQ(errorFromResult(request->block()(Value(), error, cached)), error);
    EXPECT_EQ(cached->values().count(), 2u);
  }
}

TEST(KLRequestMerge, SnapshotsHandBackTheImageOrTheError) {
  auto image = std::make_shared<Record>();  // stands in for the decoded image object
  ErrorPtr error = failure();
  for (const auto& request : std::vector<std::shared_ptr<KLRequest>>{std::make_shared<KLCameraSnapshotRequest>(),
                                                                      std::make_shared<KLEventSnapshotRequest>()}) {
    EXPECT_EQ(request->block()(Value(image), nullptr, nullptr).objectAs<Record>(), image);
    EXPECT_EQ(errorFromResult(request->block()(Value(), error, nullptr)), error);
    EXPECT_TRUE(request->block()(Value(), nullptr, nullptr).isNil());
  }
}

TEST(KLRequestMerge, CameraStatusAnnouncesEveryReply) {
  int posted = 0;
  auto token = platform::NotificationCenter::defaultCenter().addObserver(
      kCameraStatusUpdatedNotification, [&](const platform::Notification& n) {
        EXPECT_EQ(n.object, nullptr);
        posted++;
      });
  KLSingleCameraStatusRequest request;
  auto cached = std::make_shared<Record>();
  auto reply = std::make_shared<Record>();
  reply->setTitle("online");
  EXPECT_EQ(request.block()(Value(reply), nullptr, cached).objectAs<Record>(), cached);
  EXPECT_EQ(cached->title(), "online");
  EXPECT_EQ(posted, 1);
  ErrorPtr error = failure();
  EXPECT_EQ(errorFromResult(request.block()(Value(), error, cached)), error);
  EXPECT_EQ(posted, 2);
}

}  // namespace
}  // namespace dk
