// Value: the dynamic value of Foundation collections and JSON (NSNumber, NSString, NSNull,
// NSArray, NSDictionary, or any Object), with nil as its own state.
//
// nil (absent), the null object (JSON null) and a value are three different states. Arrays and
// dictionaries are immutable and shared on copy, so a Value is cheap to copy and safe to read from
// several threads at once. Numbers print as the platform prints them ("180", not "180.0").
//
// A dictionary is a vector of (key, value) entries sorted by key: one allocation for its entries
// instead of a tree node per key, and look-ups by binary search. It behaves as a std::map does for
// what callers use (ordered iteration, find, [], insert, erase).
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
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
class ValueDictionary;
using ValueArray = std::vector<Value>;

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
  Value(ValueDictionary d);
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

  // JSON. parse returns nil on malformed input or a tree past 8 times its text (with a message in
  // *error when given); allowFragments accepts a bare string, number, bool or null at the top.
  static Value parseJSON(std::string_view text, bool allowFragments = false, std::string* error = nullptr);
  // Objects serialise through their description; nil as null.
  std::string toJSON(bool pretty = false) const;

 private:
  using Storage = std::variant<std::monostate, NullTag, bool, int64_t, double, std::string, ObjectPtr,
                               std::shared_ptr<const ValueArray>, std::shared_ptr<const ValueDictionary>>;
  Storage data_;
};

// String keys to Values, kept sorted by key; the interface is std::map's (the parts callers use).
class ValueDictionary {
 public:
  using key_type = std::string;
  using mapped_type = Value;
  using value_type = std::pair<std::string, Value>;
  using Entries = std::vector<value_type>;
  using iterator = Entries::iterator;
  using const_iterator = Entries::const_iterator;
  using size_type = size_t;

  ValueDictionary() = default;
  // As a map's: of a repeated key the first entry stays.
  ValueDictionary(std::initializer_list<value_type> entries) : ValueDictionary(Entries(entries), false) {}
  template <typename It>
  ValueDictionary(It first, It last) : ValueDictionary(Entries(first, last), false) {}
  // Entries in any order, of which a later one replaces an earlier one of the same key (a JSON
  // object's meaning); one allocation for the whole dictionary.
  static ValueDictionary withEntries(Entries entries) { return ValueDictionary(std::move(entries), true); }

  size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  void clear() { entries_.clear(); }
  void reserve(size_t n) { entries_.reserve(n); }
  iterator begin() { return entries_.begin(); }
  iterator end() { return entries_.end(); }
  const_iterator begin() const { return entries_.begin(); }
  const_iterator end() const { return entries_.end(); }
  const_iterator cbegin() const { return entries_.cbegin(); }
  const_iterator cend() const { return entries_.cend(); }

  iterator lower_bound(std::string_view key) {
    return std::lower_bound(entries_.begin(), entries_.end(), key, KeyLess{});
  }
  const_iterator lower_bound(std::string_view key) const {
    return std::lower_bound(entries_.begin(), entries_.end(), key, KeyLess{});
  }
  iterator find(std::string_view key) {
    auto it = lower_bound(key);
    return it != entries_.end() && it->first == key ? it : entries_.end();
  }
  const_iterator find(std::string_view key) const {
    auto it = lower_bound(key);
    return it != entries_.end() && it->first == key ? it : entries_.end();
  }
  size_t count(std::string_view key) const { return find(key) != end() ? 1 : 0; }
  bool contains(std::string_view key) const { return find(key) != end(); }
  // std::out_of_range when the key is missing.
  Value& at(std::string_view key);
  const Value& at(std::string_view key) const;
  Value& operator[](std::string_view key);

  template <typename K, typename V>
  std::pair<iterator, bool> try_emplace(K&& key, V&& value) {
    auto it = lower_bound(key);
    if (it != entries_.end() && it->first == key) return {it, false};
    return {entries_.emplace(it, std::string(std::forward<K>(key)), Value(std::forward<V>(value))), true};
  }
  template <typename K, typename V>
  std::pair<iterator, bool> emplace(K&& key, V&& value) {
    return try_emplace(std::forward<K>(key), std::forward<V>(value));
  }
  std::pair<iterator, bool> insert(value_type entry) { return try_emplace(std::move(entry.first), std::move(entry.second)); }
  template <typename It>
  void insert(It first, It last) {
    for (; first != last; ++first) insert(value_type(*first));
  }
  template <typename K, typename V>
  std::pair<iterator, bool> insert_or_assign(K&& key, V&& value) {
    auto [it, inserted] = try_emplace(std::forward<K>(key), Value());
    it->second = Value(std::forward<V>(value));
    return {it, inserted};
  }
  size_t erase(std::string_view key);
  iterator erase(const_iterator position) { return entries_.erase(position); }
  iterator erase(const_iterator first, const_iterator last) { return entries_.erase(first, last); }

  friend bool operator==(const ValueDictionary& a, const ValueDictionary& b) { return a.entries_ == b.entries_; }

 private:
  struct KeyLess {
    bool operator()(const value_type& entry, std::string_view key) const { return entry.first < key; }
  };
  ValueDictionary(Entries entries, bool lastWins);
  Entries entries_;
};

inline Value::Value(ValueDictionary d) : data_(std::make_shared<const ValueDictionary>(std::move(d))) {}

// Number formatting as "%@" prints an NSNumber (integers plainly, doubles with up to 17
// significant digits and no trailing ".0").
std::string formatNumber(double value);

}  // namespace dk::platform
