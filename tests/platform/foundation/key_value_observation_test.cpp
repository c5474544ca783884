#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/foundation/key_value_observation_controller.h"
#include "platform/foundation/model.h"

namespace dk::platform {
namespace {

class KvoCamera : public Model {
 public:
  static const ClassInfo& staticClassInfo() {
    static const ClassInfo info("KvoCamera", nullptr, [] { return std::make_shared<KvoCamera>(); },
                                {property("name", &KvoCamera::name_, {"name"}),
                                 property("state", &KvoCamera::state, &KvoCamera::setState, {"state"})});
    return info;
  }
  const ClassInfo& classInfo() const override { return staticClassInfo(); }
  DK_MODEL_PROPERTY(std::optional<std::string>, name, setName);
  DK_MODEL_PROPERTY(bool, state, setState);
};

class KvoHolder : public Model {
 public:
  static const ClassInfo& staticClassInfo() {
    static const ClassInfo info("KvoHolder", nullptr, [] { return std::make_shared<KvoHolder>(); },
                                {property("camera", &KvoHolder::camera_), property("values", &KvoHolder::values_)});
    return info;
  }
  const ClassInfo& classInfo() const override { return staticClassInfo(); }
  DK_MODEL_PROPERTY(std::shared_ptr<KvoCamera>, camera, setCamera);
  DK_MODEL_PROPERTY(Value, values, setValues);
};

std::shared_ptr<KvoCamera> kvoCamera(const std::string& name) {
  auto camera = std::make_shared<KvoCamera>();
  camera->setName(name);
  return camera;
}

// Records what an observation reports.
struct KvoRecorder {
  std::mutex mutex;
  std::vector<KeyValueChange> changes;

  KeyValueObservationController::Handler handler() {
    return [this](const KeyValueChange& change) {
      std::lock_guard<std::mutex> lock(mutex);
      changes.push_back(change);
    };
  }
  size_t count() {
    std::lock_guard<std::mutex> lock(mutex);
    return changes.size();
  }
  KeyValueChange last() {
    std::lock_guard<std::mutex> lock(mutex);
    return changes.back();
  }
};

constexpr unsigned kNewOld = KeyValueObservingOptionNew | KeyValueObservingOptionOld;

class KeyValueObservationTest : public ::testing::Test {
 protected:
  std::shared_ptr<int> observer = std::make_shared<int>(0);
  std::shared_ptr<KeyValueObservationController> controller =
      KeyValueObservationController::controllerWithObserver(observer);
  KvoRecorder recorder;
};

TEST_F(KeyValueObservationTest, SettersAndSetValueForKeyReportOldAndNewOncePerChange) {
  auto camera = kvoCamera("hall");
  controller->observe(camera, "name", kNewOld, recorder.handler());

  camera->setName("garden");
  ASSERT_EQ(recorder.count(), 1u);
  KeyValueChange change = recorder.last();
  EXPECT_EQ(change.object.get(), camera.get());
  EXPECT_EQ(change.keyPath, "name");
  EXPECT_EQ(change.oldValue, Value("hall"));
  EXPECT_EQ(change.newValue, Value("garden"));
  EXPECT_FALSE(change.isInitial);

  camera->setValueForKey("name", Value());
  ASSERT_EQ(recorder.count(), 2u);
  EXPECT_EQ(recorder.last().oldValue, Value("garden"));
  EXPECT_TRUE(recorder.last().newValue.isNil());

  // Another key of the same object, and the same key of another object, are not this observation's.
  camera->setState(true);
  kvoCamera("other")->setName("x");
  EXPECT_EQ(recorder.count(), 2u);
}

TEST_F(KeyValueObservationTest, AKeyWhoseTableEntryCallsTheSetterIsAnnouncedOnce) {
  auto camera = kvoCamera("hall");
  controller->observe(camera, "state", kNewOld, recorder.handler());
  camera->setValueForKey("state", Value(true));
  ASSERT_EQ(recorder.count(), 1u);
  EXPECT_EQ(recorder.last().oldValue, Value(false));
  EXPECT_EQ(recorder.last().newValue, Value(true));
}

TEST_F(KeyValueObservationTest, OptionsChooseTheValuesAndTheInitialCall) {
  auto camera = kvoCamera("hall");
  controller->observe(camera, "name", KeyValueObservingOptionNew | KeyValueObservingOptionInitial, recorder.handler());
  ASSERT_EQ(recorder.count(), 1u) << "the initial call comes at registration";
  EXPECT_TRUE(recorder.last().isInitial);
  EXPECT_EQ(recorder.last().newValue, Value("hall"));

  camera->setName("garden");
  ASSERT_EQ(recorder.count(), 2u);
  EXPECT_TRUE(recorder.last().oldValue.isNil()) << "old was not asked for";
  EXPECT_EQ(recorder.last().newValue, Value("garden"));

  KvoRecorder bare;
  controller->observe(camera, "state", 0, bare.handler());
  camera->setState(true);
  ASSERT_EQ(bare.count(), 1u);
  EXPECT_TRUE(bare.last().oldValue.isNil());
  EXPECT_TRUE(bare.last().newValue.isNil());
}

TEST_F(KeyValueObservationTest, ADottedPathFollowsTheReplacedIntermediateObject) {
  auto holder = std::make_shared<KvoHolder>();
  auto first = kvoCamera("hall");
  auto second = kvoCamera("yard");
  holder->setCamera(first);
  controller->observe(holder, "camera.name", kNewOld, recorder.handler());

  first->setName("porch");
  ASSERT_EQ(recorder.count(), 1u);
  EXPECT_EQ(recorder.last().object.get(), holder.get()) << "the observed object, not the camera";
  EXPECT_EQ(recorder.last().keyPath, "camera.name");
  EXPECT_EQ(recorder.last().newValue, Value("porch"));

  holder->setValueForKey("camera", Value(second));
  ASSERT_EQ(recorder.count(), 2u);
  EXPECT_EQ(recorder.last().oldValue, Value("porch"));
  EXPECT_EQ(recorder.last().newValue, Value("yard"));

  first->setName("gone");  // no longer on the path
  EXPECT_EQ(recorder.count(), 2u);
  second->setName("drive");
  ASSERT_EQ(recorder.count(), 3u);
  EXPECT_EQ(recorder.last().newValue, Value("drive"));

  holder->setCamera(nullptr);
  ASSERT_EQ(recorder.count(), 4u);
  EXPECT_EQ(recorder.last().oldValue, Value("drive"));
  EXPECT_TRUE(recorder.last().newValue.isNil());
  second->setName("unseen");
  EXPECT_EQ(recorder.count(), 4u);
  EXPECT_FALSE(second->hasKeyValueObservers()) << "the registration left the replaced camera";
}

TEST_F(KeyValueObservationTest, DeliveryIsSynchronousOnTheChangingThread) {
  auto camera = kvoCamera("hall");
  std::thread::id deliveredOn;
  controller->observe(camera, "name", KeyValueObservingOptionNew,
                      [&](const KeyValueChange&) { deliveredOn = std::this_thread::get_id(); });
  std::thread::id changer;
  std::thread worker([&] {
    changer = std::this_thread::get_id();
    camera->setName("garden");
  });
  worker.join();
  EXPECT_EQ(deliveredOn, changer);
}

TEST_F(KeyValueObservationTest, ObservationsEndWithUnobserveTheControllerOrTheObserver) {
  auto camera = kvoCamera("hall");
  auto holder = std::make_shared<KvoHolder>();
  holder->setCamera(camera);
  controller->observe(camera, "name", kNewOld, recorder.handler());
  controller->observe(camera, "name", kNewOld, recorder.handler());  // the first one is kept
  controller->observe(holder, "camera.name", kNewOld, recorder.handler());
  EXPECT_TRUE(controller->isObserving(camera.get(), "name"));

  camera->setName("a");
  EXPECT_EQ(recorder.count(), 2u) << "one call for the key, one for the path through it";

  controller->unobserve(camera.get(), "name");
  EXPECT_FALSE(controller->isObserving(camera.get(), "name"));
  camera->setName("b");
  EXPECT_EQ(recorder.count(), 3u) << "only the path remains";

  // The observer is gone: its handlers are not called although the controller still exists.
  observer.reset();
  camera->setName("c");
  EXPECT_EQ(recorder.count(), 3u);

  // The controller keeps what it observes alive; without it nothing is registered any more.
  std::weak_ptr<KvoHolder> weakHolder = holder;
  holder.reset();
  recorder.changes.clear();  // the reports hold the observed objects too
  EXPECT_FALSE(weakHolder.expired());
  controller.reset();
  EXPECT_TRUE(weakHolder.expired());
  EXPECT_FALSE(camera->hasKeyValueObservers());
}

TEST_F(KeyValueObservationTest, AHandlerMayChangeOtherKeysAndDestroyTheController) {
  auto camera = kvoCamera("hall");
  KvoRecorder states;
  int calls = 0;
  controller->observe(camera, "name", KeyValueObservingOptionNew, [&](const KeyValueChange&) {
    ++calls;
    camera->setState(true);  // announced in turn
    controller.reset();
  });
  controller->observe(camera, "state", KeyValueObservingOptionNew, states.handler());
  camera->setName("a");
  ASSERT_EQ(states.count(), 1u);
  EXPECT_EQ(states.last().newValue, Value(true));
  camera->setName("b");
  EXPECT_EQ(calls, 1);
  EXPECT_FALSE(camera->hasKeyValueObservers());
}

TEST(KeyValueObservationThreads, ConcurrentChangesObservationsAndRemovalsSettleOnTheLastObject) {
  auto holder = std::make_shared<KvoHolder>();
  std::vector<std::shared_ptr<KvoCamera>> cameras;
  for (int i = 0; i < 4; ++i) cameras.push_back(kvoCamera("c" + std::to_string(i)));
  holder->setCamera(cameras[0]);

  auto observer = std::make_shared<int>(0);
  auto steady = KeyValueObservationController::controllerWithObserver(observer);
  std::atomic<int> steadyCalls{0};
  steady->observe(holder, "camera.name", KeyValueObservingOptionNew,
                  [&](const KeyValueChange&) { steadyCalls.fetch_add(1); });

  std::atomic<bool> stop{false};
  std::vector<std::thread> threads;
  // Names change on every camera while the current camera is replaced from other threads.
  for (int t = 0; t < 2; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 400; ++i) cameras[(i + t) % cameras.size()]->setName("n" + std::to_string(i));
    });
  }
  for (int t = 0; t < 2; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 400; ++i) holder->setCamera(cameras[(i * 3 + t) % cameras.size()]);
    });
  }
  // Observers come and go meanwhile.
  threads.emplace_back([&] {
    while (!stop.load()) {
      auto transient = KeyValueObservationController::controllerWithObserver(observer);
      transient->observe(holder, "camera.name", kNewOld, [](const KeyValueChange&) {});
      transient->observe(cameras[1], "name", kNewOld, [](const KeyValueChange&) {});
    }
  });
  for (size_t i = 0; i + 1 < threads.size(); ++i) threads[i].join();
  stop.store(true);
  threads.back().join();
  EXPECT_GT(steadyCalls.load(), 0);

  // Whatever order the replacements ran in, the path now runs through the current camera only.
  holder->setCamera(cameras[2]);
  const int before = steadyCalls.load();
  for (size_t i = 0; i < cameras.size(); ++i) {
    if (i != 2) cameras[i]->setName("elsewhere");
  }
  EXPECT_EQ(steadyCalls.load(), before);
  cameras[2]->setName("current");
  EXPECT_EQ(steadyCalls.load(), before + 1);
  for (size_t i = 0; i < cameras.size(); ++i) {
    if (i != 2) {
      EXPECT_FALSE(cameras[i]->hasKeyValueObservers()) << "camera " << i;
    }
  }
}

}  // namespace
}  // namespace dk::platform
