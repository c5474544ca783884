#include <gtest/gtest.h>

#include "platform/foundation/model.h"

namespace dk::platform {
namespace {

class Inner : public Model {
 public:
  static const ClassInfo& staticClassInfo() {
    static const ClassInfo info("Inner", nullptr, [] { return std::make_shared<Inner>(); },
                                {property("name", &Inner::name, {"name"})});
    return info;
  }
  const ClassInfo& classInfo() const override { return staticClassInfo(); }
  std::optional<std::string> name;
};

class Base : public Model {
 public:
  static const ClassInfo& staticClassInfo() {
    static const ClassInfo info("Base", nullptr, [] { return std::make_shared<Base>(); },
                                {property("identifier", &Base::identifier, {"id"})});
    return info;
  }
  const ClassInfo& classInfo() const override { return staticClassInfo(); }
  std::optional<int64_t> identifier;
};

class Derived : public Base {
 public:
  static const ClassInfo& staticClassInfo() {
    static const ClassInfo info(
        "Derived", &Base::staticClassInfo(), [] { return std::make_shared<Derived>(); },
        {property("fps", &Derived::fps, {"settings.rec.fps"}),
         property("inner", &Derived::inner, {"inner"}, dictionaryTransformer(Inner::staticClassInfo()),
                  reverseModelTransformer()),
         property("items", &Derived::items, {"items"}, arrayTransformer(Inner::staticClassInfo()),
                  reverseModelTransformer()),
         property("flag", &Derived::flag, {"flag"}), property("local", &Derived::local)});
    return info;
  }
  const ClassInfo& classInfo() const override { return staticClassInfo(); }
  double fps = -1;
  std::shared_ptr<Inner> inner;
  std::vector<std::shared_ptr<Inner>> items;
  bool flag = true;
  std::string local = "kept";
};

TEST(ModelMapping, MapsKeyPathsNestedModelsAndInheritedKeys) {
  auto json = Value::parseJSON(
      R"({"id": 7, "settings": {"rec": {"fps": 12.5}}, "inner": {"name": "n"}, "items": [{"name": "a"}, 3, {"name": "b"}]})");
  auto model = modelFromJSON<Derived>(json);
  ASSERT_TRUE(model);
  EXPECT_EQ(model->identifier, 7);
  EXPECT_DOUBLE_EQ(model->fps, 12.5);
  ASSERT_TRUE(model->inner);
  EXPECT_EQ(model->inner->name, "n");
  ASSERT_EQ(model->items.size(), 2u);
  EXPECT_EQ(model->items[1]->name, "b");
  EXPECT_EQ(model->local, "kept");
  EXPECT_TRUE(model->flag) << "a missing key leaves the initial value";
}

TEST(ModelMapping, NullBecomesNilAndNonDictionaryFails) {
  auto model = modelFromJSON<Derived>(Value::parseJSON(R"({"id": null, "flag": null})"));
  ASSERT_TRUE(model);
  EXPECT_FALSE(model->identifier.has_value());
  EXPECT_FALSE(model->flag);
  ErrorPtr error;
  EXPECT_FALSE(modelFromJSON<Derived>(Value::parseJSON("[1]"), &error));
  ASSERT_TRUE(error);
}

TEST(ModelMapping, KeyValueCodingAndJSONRoundTrip) {
  Derived d;
  d.setValueForKey("identifier", Value(42));
  d.setValueForKey("nope", Value(1));
  EXPECT_EQ(d.valueForKey("identifier"), Value(42));
  EXPECT_TRUE(d.valueForKey("nope").isNil());
  auto inner = std::make_shared<Inner>();
  inner->name = "x";
  d.inner = inner;
  Value json = jsonFromModel(d);
  EXPECT_EQ(json["id"].integerValue(), 42);
  EXPECT_EQ(json.valueForKeyPath("settings.rec.fps").doubleValue(), -1);
  EXPECT_EQ(json["inner"]["name"].stringValue(), "x");
  EXPECT_FALSE(json.dictionaryValue().count("local"));
  std::vector<std::string> keys;
  for (auto* p : Derived::staticClassInfo().properties()) keys.push_back(p->key);
  EXPECT_EQ(keys.front(), "identifier") << "superclass keys come first";
  EXPECT_EQ(keys.size(), 6u);
}

}  // namespace
}  // namespace dk::platform
