// Model: the JSON-mapped object base (what MTLModel, MTLJSONAdapter and key-value coding give).
//
// Each model class declares one ClassInfo: its name, superclass, factory and property table
// (key, JSON key path or paths, transformers both ways, getter, setter). Inherited keys are
// included, superclass first. Access by key and JSON mapping go through the table.
// A Model's table accessors take the model's own recursive mutex, so a cached model updated in
// place on one queue can be read by key from another; typed accessors of subclasses that may race
// take the same mutex (propertyMutex(), DK_MODEL_PROPERTY).
// Equality is by value, field by field; identity is still the pointer.
// Merging (what MTLModel gives): mergeValueForKey uses the class's key-specific merge when it has
// one, otherwise copies the other model's value by key; mergeValuesForKeysFromModel merges every
// key both classes have. Merging takes no lock beyond the per-property ones: whoever merges into a
// cached model serialises the merges.
// Key-value observation: setValueForKey and the DK_MODEL_PROPERTY setters announce their change
// (key_value_coding.h), so a merge is heard by the model's observers as the platform's is.
#pragma once

#include <cerrno>
#include <cstdlib>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/foundation/error.h"
#include "platform/foundation/key_value_coding.h"
#include "platform/foundation/value.h"

namespace dk::platform {

class Model;
using ModelPtr = std::shared_ptr<Model>;
using ValueTransform = std::function<Value(const Value&)>;

struct PropertyInfo {
  std::string key;
  // JSON key paths (dotted). Empty: the property is not mapped to or from JSON. With several
  // paths the transformer receives a dictionary {path: value} of the paths present.
  std::vector<std::string> jsonKeyPaths;
  ValueTransform fromJSON;  // empty: the JSON value as it is
  ValueTransform toJSON;    // empty: the property value as it is
  std::function<Value(const Model&)> get;
  std::function<void(Model&, const Value&)> set;
};

// Hash for string-keyed maps that look up by string_view without building a string.
struct TransparentStringHash {
  using is_transparent = void;
  size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};

class ClassInfo {
 public:
  using KeyMerge = std::function<void(Model& self, const ModelPtr& other)>;

  ClassInfo(std::string name, const ClassInfo* superclass, std::function<ModelPtr()> factory,
            std::vector<PropertyInfo> properties);
  ClassInfo(const ClassInfo&) = delete;
  ClassInfo& operator=(const ClassInfo&) = delete;

  const std::string& name() const { return name_; }
  const ClassInfo* superclass() const { return superclass_; }
  // A new, default-initialised instance (nullptr for abstract classes).
  ModelPtr create() const { return factory_ ? factory_() : nullptr; }
  // Every property with storage, superclass keys first (+propertyKeys).
  const std::vector<const PropertyInfo*>& properties() const { return all_; }
  const PropertyInfo* property(std::string_view key) const;
  bool hasProperty(std::string_view key) const { return property(key) != nullptr; }
  bool isKindOf(const ClassInfo& other) const;

  // A key-specific merge ("merge<Key>FromModel:"), found on this class or a superclass.
  void setKeyMerge(std::string key, KeyMerge merge);
  const KeyMerge* keyMerge(std::string_view key) const;

  // Optional class-cluster hook: picks the class a JSON dictionary maps to.
  std::function<const ClassInfo*(const Value& json)> classForParsing;

 private:
  std::string name_;
  const ClassInfo* superclass_;
  std::function<ModelPtr()> factory_;
  std::vector<PropertyInfo> own_;
  std::vector<const PropertyInfo*> all_;
  std::unordered_map<std::string, const PropertyInfo*, TransparentStringHash, std::equal_to<>> byKey_;
  std::unordered_map<std::string, KeyMerge, TransparentStringHash, std::equal_to<>> keyMerges_;
};

class Model : public Object, public KeyValueCoding {
 public:
  virtual const ClassInfo& classInfo() const = 0;
  std::string className() const override { return classInfo().name(); }

  // Key-value coding over the property table; an unknown key reads nil and writes nothing.
  Value valueForKey(std::string_view key) const override;
  void setValueForKey(std::string_view key, const Value& value) override;
  // Every property key with its value (nil values included as nil).
  ValueDictionary dictionaryValue() const;
  // Equal when the other is of the same class and every property compares equal (MTLModel).
  bool isEqual(const Object& other) const override;
  // "<Class: 0x...> {\n    key = value;\n}"
  std::string description() const override;

  // The key-specific merge of `key` when the class has one (called also with a null model);
  // otherwise, for a non-null model, the other model's value copied onto this one by key.
  virtual void mergeValueForKey(std::string_view key, const ModelPtr& model);
  // For every key of this class that the source's class also has, mergeValueForKey. A source that
  // is not a model (nil, the null object, any other value) changes nothing.
  virtual void mergeValuesForKeysFromModel(const Value& model);

  std::recursive_mutex& propertyMutex() const { return mutex_; }

 protected:
  // Reads and writes of a stored field under the model's mutex (see DK_MODEL_PROPERTY).
  template <typename T>
  T guardedGet(const T& field) const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return field;
  }
  template <typename T, typename U>
  void guardedSet(T& field, U&& value) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    field = std::forward<U>(value);
  }

 private:
  mutable std::recursive_mutex mutex_;
};

// Declares a stored property `getter_` with a getter and a setter that take the model's mutex (an
// atomic property): a cached model may then be read on one queue while another merges into it.
// The setter announces the change to observers of the key named like the getter (one atomic load
// when there are none). The field is protected so the class's property table can name it
// (&Class::getter_).
#define DK_MODEL_PROPERTY(Type, getter, setter)                                                        \
 public:                                                                                               \
  Type getter() const { return this->guardedGet(getter##_); }                                          \
  void setter(Type value) {                                                                            \
    this->changeValueForKey(#getter, [&] { this->guardedSet(getter##_, std::move(value)); });         \
  }                                                                                                    \
                                                                                                       \
 protected:                                                                                            \
  Type getter##_ {}

// JSON → model (modelOfClass:fromJSONDictionary:). A non-dictionary gives nullptr and an error.
// Missing key paths leave the property as the class initialised it; JSON null becomes nil.
ModelPtr modelFromJSON(const ClassInfo& cls, const Value& json, ErrorPtr* error = nullptr);
template <typename T>
std::shared_ptr<T> modelFromJSON(const Value& json, ErrorPtr* error = nullptr) {
  return std::dynamic_pointer_cast<T>(modelFromJSON(T::staticClassInfo(), json, error));
}
// JSON array → models; elements that do not map are an error for the whole array.
std::optional<std::vector<ModelPtr>> modelsFromJSONArray(const ClassInfo& cls, const Value& json, ErrorPtr* error = nullptr);
// Model → JSON dictionary (JSONDictionaryFromModel:); nil properties become null.
Value jsonFromModel(const Model& model);

// Transformers that map nested JSON (MTLJSONAdapter's dictionary and array transformers).
ValueTransform dictionaryTransformer(const ClassInfo& cls);
ValueTransform arrayTransformer(const ClassInfo& cls);
ValueTransform reverseModelTransformer();  // model or array of models → JSON

// Converts typed members to and from Value for the property tables.
template <typename T, typename Enable = void>
struct ValueCodec;

template <>
struct ValueCodec<Value> {
  static Value to(const Value& v) { return v; }
  static Value from(const Value& v) { return v; }
};
template <>
struct ValueCodec<bool> {
  static Value to(bool v) { return Value(v); }
  static bool from(const Value& v) { return v.boolValue(); }
};
template <typename T>
struct ValueCodec<T, std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool>>> {
  static Value to(T v) { return Value(static_cast<int64_t>(v)); }
  static T from(const Value& v) { return static_cast<T>(v.integerValue()); }
};
template <typename T>
struct ValueCodec<T, std::enable_if_t<std::is_enum_v<T>>> {
  static Value to(T v) { return Value(static_cast<int64_t>(v)); }
  static T from(const Value& v) { return static_cast<T>(v.integerValue()); }
};
template <>
struct ValueCodec<double> {
  static Value to(double v) { return Value(v); }
  static double from(const Value& v) { return v.doubleValue(); }
};
template <>
struct ValueCodec<std::string> {
  static Value to(const std::string& v) { return Value(v); }
  static std::string from(const Value& v) { return v.isString() ? v.stringValue() : v.isNumber() ? v.description() : std::string(); }
};
// The integer a number or numeric text holds, or nullopt when it lies outside T's range: an
// identifier beyond 64 bits must not be clamped onto the largest value, where all would collide.
template <typename T>
std::optional<T> integerInRange(const Value& v) {
  int64_t n = 0;
  if (v.isDouble()) {
    const double d = v.doubleValue();
    // -2^63 itself is refused too: the reader keeps integers that fit exact, so a double there was
    // rounded from text beyond the range. NaN fails both tests.
    if (!(d > -9223372036854775808.0 && d < 9223372036854775808.0)) return std::nullopt;
    n = static_cast<int64_t>(d);
  } else if (v.isString()) {
    errno = 0;
    n = std::strtoll(v.stringValue().c_str(), nullptr, 10);
    if (errno == ERANGE) return std::nullopt;
  } else {
    n = v.integerValue();
  }
  if constexpr (std::is_unsigned_v<T>) {
    if (n < 0 || static_cast<uint64_t>(n) > std::numeric_limits<T>::max()) return std::nullopt;
  } else {
    if (n < std::numeric_limits<T>::min() || n > std::numeric_limits<T>::max()) return std::nullopt;
  }
  return static_cast<T>(n);
}

template <typename T>
struct ValueCodec<std::optional<T>> {
  static Value to(const std::optional<T>& v) { return v ? ValueCodec<T>::to(*v) : Value(); }
  static std::optional<T> from(const Value& v) {
    if (v.isNilOrNull()) return std::nullopt;
    if constexpr (std::is_integral_v<T> && !std::is_same_v<T, bool>) {
      return integerInRange<T>(v);
    } else {
      return ValueCodec<T>::from(v);
    }
  }
};
template <typename T>
struct ValueCodec<std::shared_ptr<T>, std::enable_if_t<std::is_base_of_v<Object, T>>> {
  static Value to(const std::shared_ptr<T>& v) { return Value(v); }
  static std::shared_ptr<T> from(const Value& v) { return v.objectAs<T>(); }
};
template <typename T>
struct ValueCodec<std::vector<T>> {
  static Value to(const std::vector<T>& v) {
    ValueArray out;
    out.reserve(v.size());
    for (const auto& e : v) out.push_back(ValueCodec<T>::to(e));
    return Value(std::move(out));
  }
  static std::vector<T> from(const Value& v) {
    std::vector<T> out;
    out.reserve(v.arrayValue().size());
    for (const auto& e : v.arrayValue()) {
      if constexpr (std::is_integral_v<T> && !std::is_same_v<T, bool>) {
        // Arrays of identifiers: an element beyond T's range (or null) is left out, never
        // clamped onto the largest value where it would stand for another one.
        if (auto n = ValueCodec<std::optional<T>>::from(e)) out.push_back(*n);
      } else {
        out.push_back(ValueCodec<T>::from(e));
      }
    }
    return out;
  }
};

// Builds a property entry for a data member: PROPERTY(T, member, {"json.path"}) style.
template <typename Class, typename Member>
PropertyInfo property(std::string key, Member Class::*member, std::vector<std::string> jsonKeyPaths = {},
                      ValueTransform fromJSON = {}, ValueTransform toJSON = {}) {
  PropertyInfo info;
  info.key = std::move(key);
  info.jsonKeyPaths = std::move(jsonKeyPaths);
  info.fromJSON = std::move(fromJSON);
  info.toJSON = std::move(toJSON);
  info.get = [member](const Model& m) {
    std::lock_guard<std::recursive_mutex> lock(m.propertyMutex());
    return ValueCodec<Member>::to(static_cast<const Class&>(m).*member);
  };
  info.set = [member](Model& m, const Value& v) {
    std::lock_guard<std::recursive_mutex> lock(m.propertyMutex());
    static_cast<Class&>(m).*member = ValueCodec<Member>::from(v);
  };
  return info;
}

// Builds a property entry over a getter and a setter (for properties whose setter does more than
// store, or whose getter derives its value). The accessors do their own locking.
template <typename GetClass, typename Get, typename SetClass, typename SetArg>
PropertyInfo property(std::string key, Get (GetClass::*getter)() const, void (SetClass::*setter)(SetArg),
                      std::vector<std::string> jsonKeyPaths = {}, ValueTransform fromJSON = {},
                      ValueTransform toJSON = {}) {
  using GetType = std::remove_cv_t<std::remove_reference_t<Get>>;
  using SetType = std::remove_cv_t<std::remove_reference_t<SetArg>>;
  PropertyInfo info;
  info.key = std::move(key);
  info.jsonKeyPaths = std::move(jsonKeyPaths);
  info.fromJSON = std::move(fromJSON);
  info.toJSON = std::move(toJSON);
  info.get = [getter](const Model& m) { return ValueCodec<GetType>::to((static_cast<const GetClass&>(m).*getter)()); };
  info.set = [setter](Model& m, const Value& v) { (static_cast<SetClass&>(m).*setter)(ValueCodec<SetType>::from(v)); };
  return info;
}

}  // namespace dk::platform
