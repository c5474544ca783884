#include <gtest/gtest.h>

#include "platform/foundation/model.h"

namespace dk::platform {
namespace {

class Animal : public Model {
 public:
  static const ClassInfo& staticClassInfo() {
    static const ClassInfo info("Animal", nullptr, [] { return std::make_shared<Animal>(); },
                                {property("name", &Animal::name_, {"name"}),
                                 property("legs", &Animal::legs, &Animal::setLegs, {"legs"})});
    return info;
  }
  const ClassInfo& classInfo() const override { return staticClassInfo(); }

  DK_MODEL_PROPERTY(std::optional<std::string>, name, setName);

 public:
  int legs() const { return guardedGet(legs_); }
  // A setter with a side effect: the table must reach it, not the field.
  void setLegs(int legs) {
    std::lock_guard<std::recursive_mutex> lock(propertyMutex());
    legs_ = legs;
    ++legWrites;
  }
  int legWrites = 0;

 private:
  int legs_ = 4;
};

class Bird : public Animal {
 public:
  static const ClassInfo& staticClassInfo() {
    static const ClassInfo info("Bird", &Animal::staticClassInfo(), [] { return std::make_shared<Bird>(); },
                                {property("wingspan", &Bird::wingspan_, {"wingspan"})});
    return info;
  }
  const ClassInfo& classInfo() const override { return staticClassInfo(); }
  DK_MODEL_PROPERTY(std::optional<double>, wingspan, setWingspan);
};

class Stone : public Model {
 public:
  static const ClassInfo& staticClassInfo() {
    static const ClassInfo info("Stone", nullptr, [] { return std::make_shared<Stone>(); },
                                {property("name", &Stone::name_), property("weight", &Stone::weight_)});
    return info;
  }
  const ClassInfo& classInfo() const override { return staticClassInfo(); }
  DK_MODEL_PROPERTY(std::optional<std::string>, name, setName);
  DK_MODEL_PROPERTY(std::optional<int64_t>, weight, setWeight);
};

TEST(ModelMerge, CopiesEveryKeyIncludingNilAndGoesThroughSetters) {
  Animal cached;
  cached.setName("Rex");
  auto reply = std::make_shared<Animal>();
  reply->setLegs(3);
  cached.mergeValuesForKeysFromModel(reply);
  EXPECT_FALSE(cached.name().has_value()) << "a nil value overwrites";
  EXPECT_EQ(cached.legs(), 3);
  EXPECT_EQ(cached.legWrites, 1) << "the table's setter is the class's setter";
}

TEST(ModelMerge, NonModelSourcesChangeNothing) {
  Animal cached;
  cached.setName("Rex");
  cached.mergeValuesForKeysFromModel(nullptr);
  cached.mergeValuesForKeysFromModel(Value());
  cached.mergeValuesForKeysFromModel(Value::null());
  cached.mergeValuesForKeysFromModel(Value("Rex"));
  EXPECT_EQ(cached.name(), "Rex");
  EXPECT_EQ(cached.legWrites, 0);
  cached.mergeValueForKey("name", nullptr);
  EXPECT_EQ(cached.name(), "Rex") << "the per-key copy needs a model";
}

TEST(ModelMerge, ForeignClassesMergeOnlySharedKeys) {
  Bird bird;
  bird.setWingspan(1.5);
  bird.setLegs(2);
  auto stone = std::make_shared<Stone>();
  stone->setName("granite");
  stone->setWeight(12);
  bird.mergeValuesForKeysFromModel(stone);
  EXPECT_EQ(bird.name(), "granite");
  EXPECT_EQ(bird.wingspan(), 1.5);
  EXPECT_EQ(bird.legs(), 2);
  EXPECT_TRUE(bird.valueForKey("weight").isNil());

  // A subclass instance merged into its superclass: the superclass keys only.
  Animal animal;
  auto other = std::make_shared<Bird>();
  other->setName("Tweety");
  other->setWingspan(0.2);
  animal.mergeValuesForKeysFromModel(other);
  EXPECT_EQ(animal.name(), "Tweety");
}

TEST(ModelMerge, KeyMergeWinsAndSeesNullModels) {
  // A class of its own so the key merge does not leak into the other tests.
  class Counted : public Animal {
   public:
    static const ClassInfo& staticClassInfo() {
      static ClassInfo* info = [] {
        auto* i = new ClassInfo("Counted", &Animal::staticClassInfo(), [] { return std::make_shared<Counted>(); }, {});
        i->setKeyMerge("name", [](Model& self, const ModelPtr& other) {
          auto& me = static_cast<Counted&>(self);
          me.calls.push_back(other ? "model" : "nil");
        });
        return i;
      }();
      return *info;
    }
    const ClassInfo& classInfo() const override { return staticClassInfo(); }
    std::vector<std::string> calls;
  };
  Counted counted;
  counted.setName("kept");
  auto other = std::make_shared<Animal>();
  other->setName("replacement");
  counted.mergeValueForKey("name", other);
  counted.mergeValueForKey("name", nullptr);
  EXPECT_EQ(counted.calls, (std::vector<std::string>{"model", "nil"}));
  EXPECT_EQ(counted.name(), "kept");
  counted.mergeValuesForKeysFromModel(other);
  EXPECT_EQ(counted.calls.size(), 3u);
  EXPECT_EQ(counted.legWrites, 1) << "keys without a key merge are still copied";
}

TEST(ModelMerge, AccessorPropertiesMapFromJSON) {
  auto bird = modelFromJSON<Bird>(Value::parseJSON(R"({"name": "Polly", "legs": 2, "wingspan": 0.4})"));
  ASSERT_TRUE(bird);
  EXPECT_EQ(bird->legs(), 2);
  EXPECT_EQ(bird->legWrites, 1);
  EXPECT_EQ(jsonFromModel(*bird)["legs"].integerValue(), 2);
}

TEST(ValueNil, NullptrIsNil) {
  Value v = nullptr;
  EXPECT_TRUE(v.isNil());
  EXPECT_FALSE(v.isNull());
}

}  // namespace
}  // namespace dk::platform

#include "platform/foundation/locale_names.h"

namespace dk::platform {
namespace {

TEST(LocaleNames, CountryCodesInTheLocalesLanguage) {
  EXPECT_EQ(displayNameForCountryCode("DE", Locale("en_US")), "Germany");
  EXPECT_EQ(displayNameForCountryCode("de", Locale("de_DE")), "Deutschland");
  EXPECT_FALSE(displayNameForCountryCode("", Locale("en_US")));
  EXPECT_FALSE(displayNameForCountryCode("QQ", Locale("en_US")));
  EXPECT_FALSE(displayNameForCountryCode("D E", Locale("en_US")));
}

}  // namespace
}  // namespace dk::platform

#include "platform/foundation/string_search.h"

namespace dk::platform {
namespace {

TEST(StringSearch, IgnoresCaseAndDiacritics) {
  EXPECT_TRUE(containsString("Front Door", "door"));
  EXPECT_TRUE(containsString("Café Entrée", "CAFE"));
  EXPECT_TRUE(containsString("Über", "uber"));
  EXPECT_FALSE(containsString("Über", "uber", false));
  EXPECT_TRUE(containsString("Über", "über", false));
  EXPECT_FALSE(containsString("Garage", "door"));
  EXPECT_FALSE(containsString("Garage", ""));
  EXPECT_EQ(foldCaseAndDiacritics("ČAFÉ"), "cafe");
}

}  // namespace
}  // namespace dk::platform
