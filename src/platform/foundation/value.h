// Value: the dynamic value of Foundation collections and JSON (NSNumber, NSString, NSNull,
// NSArray, NSDictionary, or any Object), with nil as its own state.
//
// nil (absent), the null object (JSON null) and a value are three different states. Arrays and
// dictionaries are immutable and shared on copy, so a Value is cheap to copy and safe to read from
// several threads at once. Numbers print as the platform prints them ("180", not "180.0").
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

#include "platform/foundation/object.h"

namespace dk::platform {

class Value;
using ValueArray = std::vector<Value>;
using ValueDictionary = std::map<std::string, Value, std::less<>>;

class Value {
 public:
  enum class Type { Nil, Null, Bool, Integer, Double, String, Object, Array, Dictionary };
  struct NullTag {
    friend bool operator==(NullTag, NullTag) { return true; }
  };

  Value() = default;
  // nullptr is nil (an absent object), never a string.
  Value(std::nullptr_t) {}
  static Value null() { return Value(NullTag{}); }
  Value(NullTag) : data_(NullTag{}) {}
  Value(bool b) : data_(b) {}
  Value(int i) : data_(static_cast<int64_t>(i)) {}
  Value(long i) : data_(static_cast<int64_t>(i)) {}
  Value(long long i) : data_(static_cast<int64_t>(i)) {}
  Value(unsigned i) : data_(static_cast<int64_t>(i)) {}
  Value(unsigned long i) : data_(static_cast<int64_t>(i)) {}
  Value(unsigned long long i) : data_(static_cast<int64_t>(i)) {}
  Value(double d) : data_(d) {}
  Value(const char* s) : data_(std::string(s)) {}
  Value(std::string s) : data_(std::move(s)) {}
  Value(std::string_view s) : data_(std::string(s)) {}
  Value(ValueArray a) : data_(std::make_shared<const ValueArray>(std::move(a))) {}
  Value(ValueDictionary d) : data_(std::make_shared<const ValueDictionary>(std::move(d))) {}
  template <typename T, typename = std::enable_if_t<std::is_base_of_v<Object, T>>>
  Value(std::shared_ptr<T> object) {
    if (object) data_ = std::static_pointer_cast<Object>(std::move(object));
  }
  template <typename T>
  Value(const std::optional<T>& o) {
    if (o) *this = Value(*o);
  }

  Type type() const { return static_cast<Type>(data_.index()); }
  bool isNil() const { return type() == Type::Nil; }
  bool isNull() const { return type() == Type::Null; }
  // Nil or the null object: "no value" for most readers.
  bool isNilOrNull() const { return isNil() || isNull(); }
  bool isBool() const { return type() == Type::Bool; }
  bool isNumber() const { return type() == Type::Bool || type() == Type::Integer || type() == Type::Double; }
  bool isInteger() const { return type() == Type::Integer; }
  bool isDouble() const { return type() == Type::Double; }
  bool isString() const { return type() == Type::String; }
  bool isObject() const { return type() == Type::Object; }
  bool isArray() const { return type() == Type::Array; }
  bool isDictionary() const { return type() == Type::Dictionary; }

  // Numeric views, as NSNumber gives them: a string or other type gives 0 / false.
  bool boolValue() const;
  int64_t integerValue() const;
  double doubleValue() const;
  // The string, or an empty one when this is not a string.
  const std::string& stringValue() const;
  // The string, or nullopt when this is not a string.
  std::optional<std::string> optionalString() const;
  const ValueArray& arrayValue() const;            // empty when not an array
  const ValueDictionary& dictionaryValue() const;  // empty when not a dictionary
  ObjectPtr objectValue() const;                   // nullptr when not an object
  template <typename T>
  std::shared_ptr<T> objectAs() const {
    return std::dynamic_pointer_cast<T>(objectValue());
  }

  // Dictionary member (nil when missing or not a dictionary).
  Value operator[](std::string_view key) const;
  // Array element (nil when out of range or not an array).
  Value operator[](size_t index) const;
  // Dotted key path through nested dictionaries ("camera.settings.rec"); nil when any step misses.
  Value valueForKeyPath(std::string_view path) const;
  size_t count() const;

  // "%@" text: numbers as the platform prints them, strings as they are, "<null>" for null,
  // "(null)" for nil, collections in the platform's plist-like form.
  std::string description() const;

  // NSObject isEqual: numbers compare numerically (1 == 1.0 == true), objects by isEqual.
  friend bool operator==(const Value& a, const Value& b);

  // JSON. parse returns nil on malformed input (with a message in *error when given);
  // allowFragments accepts a bare string, number, bool or null at the top.
  static Value parseJSON(std::string_view text, bool allowFragments = false, std::string* error = nullptr);
  // Objects serialise through their description; nil as null.
  std::string toJSON(bool pretty = false) const;

 private:
  using Storage = std::variant<std::monostate, NullTag, bool, int64_t, double, std::string, ObjectPtr,
                               std::shared_ptr<const ValueArray>, std::shared_ptr<const ValueDictionary>>;
  Storage data_;
};

// Number formatting as "%@" prints an NSNumber (integers plainly, doubles with up to 17
// significant digits and no trailing ".0").
std::string formatNumber(double value);

}  // namespace dk::platform
