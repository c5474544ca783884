#include "platform/foundation/value.h"

#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <nlohmann/json.hpp>

#include "platform/foundation/json_reader.h"

namespace dk::platform {

std::string Object::description() const {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "<%s: %p>", className().c_str(), static_cast<const void*>(this));
  return buffer;
}

ValueDictionary::ValueDictionary(Entries entries, bool lastWins) : entries_(std::move(entries)) {
  auto less = [](const value_type& a, const value_type& b) { return a.first < b.first; };
  if (entries_.size() <= 24) {
    // Small objects (nearly all of them) sort in place without the merge sort's buffer.
    for (size_t i = 1; i < entries_.size(); ++i) {
      if (!less(entries_[i], entries_[i - 1])) continue;
      value_type moving = std::move(entries_[i]);
      size_t j = i;
      for (; j > 0 && less(moving, entries_[j - 1]); --j) entries_[j] = std::move(entries_[j - 1]);
      entries_[j] = std::move(moving);
    }
  } else {
    std::stable_sort(entries_.begin(), entries_.end(), less);
  }
  // Equal keys are now adjacent, in their original order: keep the last or the first of each run.
  size_t out = 0;
  for (size_t i = 0; i < entries_.size(); ++i) {
    if (lastWins ? i + 1 < entries_.size() && entries_[i].first == entries_[i + 1].first
                 : out > 0 && entries_[out - 1].first == entries_[i].first) {
      continue;
    }
    if (out != i) entries_[out] = std::move(entries_[i]);
    ++out;
  }
  entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(out), entries_.end());
}

Value& ValueDictionary::at(std::string_view key) {
  auto it = find(key);
  if (it == end()) throw std::out_of_range("ValueDictionary::at: no such key");
  return it->second;
}

const Value& ValueDictionary::at(std::string_view key) const {
  auto it = find(key);
  if (it == end()) throw std::out_of_range("ValueDictionary::at: no such key");
  return it->second;
}

Value& ValueDictionary::operator[](std::string_view key) { return try_emplace(key, Value()).first->second; }

size_t ValueDictionary::erase(std::string_view key) {
  auto it = find(key);
  if (it == end()) return 0;
  entries_.erase(it);
  return 1;
}

namespace {
const std::string kEmptyString;
const ValueArray kEmptyArray;
const ValueDictionary kEmptyDictionary;
}  // namespace

std::string formatNumber(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
  if (value == std::floor(value) && std::abs(value) < 1e15) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%lld", static_cast<long long>(value));
    return buffer;
  }
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.17g", value);
  // Prefer the shortest text that reads back as the same double.
  for (int precision = 1; precision <= 17; ++precision) {
    char shorter[40];
    std::snprintf(shorter, sizeof shorter, "%.*g", precision, value);
    if (std::strtod(shorter, nullptr) == value) return shorter;
  }
  return buffer;
}

bool Value::boolValue() const {
  switch (type()) {
    case Type::Bool: return std::get<bool>(data_);
    case Type::Integer: return std::get<int64_t>(data_) != 0;
    case Type::Double: return std::get<double>(data_) != 0;
    case Type::String: {
      // NSString boolValue: leading "Y", "y", "T", "t" or a non-zero digit.
      const auto& s = std::get<std::string>(data_);
      size_t i = s.find_first_not_of(" \t\n");
      if (i == std::string::npos) return false;
      char c = s[i];
      if (c == '+' || c == '-') c = i + 1 < s.size() ? s[i + 1] : '0';
      return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
    }
    default: return false;
  }
}

int64_t Value::integerValue() const {
  switch (type()) {
    case Type::Bool: return std::get<bool>(data_) ? 1 : 0;
    case Type::Integer: return std::get<int64_t>(data_);
    case Type::Double: {
      const double d = std::get<double>(data_);
      if (std::isnan(d)) return 0;
      if (d >= 9.2e18) return INT64_MAX;
      if (d <= -9.2e18) return INT64_MIN;
      return static_cast<int64_t>(d);
    }
    case Type::String: return std::strtoll(std::get<std::string>(data_).c_str(), nullptr, 10);
    default: return 0;
  }
}

double Value::doubleValue() const {
  switch (type()) {
    case Type::Bool: return std::get<bool>(data_) ? 1 : 0;
    case Type::Integer: return static_cast<double>(std::get<int64_t>(data_));
    case Type::Double: return std::get<double>(data_);
    case Type::String: return std::strtod(std::get<std::string>(data_).c_str(), nullptr);
    default: return 0;
  }
}

const std::string& Value::stringValue() const {
  return isString() ? std::get<std::string>(data_) : kEmptyString;
}

std::optional<std::string> Value::optionalString() const {
  if (isString()) return std::get<std::string>(data_);
  return std::nullopt;
}

const ValueArray& Value::arrayValue() const {
  return isArray() ? *std::get<std::shared_ptr<const ValueArray>>(data_) : kEmptyArray;
}

const ValueDictionary& Value::dictionaryValue() const {
  return isDictionary() ? *std::get<std::shared_ptr<const ValueDictionary>>(data_) : kEmptyDictionary;
}

ObjectPtr Value::objectValue() const { return isObject() ? std::get<ObjectPtr>(data_) : nullptr; }

Value Value::operator[](std::string_view key) const {
  if (!isDictionary()) return Value();
  const auto& d = dictionaryValue();
  auto it = d.find(key);
  return it == d.end() ? Value() : it->second;
}

Value Value::operator[](size_t index) const {
  const auto& a = arrayValue();
  return index < a.size() ? a[index] : Value();
}

Value Value::valueForKeyPath(std::string_view path) const {
  const Value* current = this;
  Value holder;
  while (true) {
    const size_t dot = path.find('.');
    const std::string_view head = path.substr(0, dot);
    if (!current->isDictionary()) return Value();
    const auto& d = current->dictionaryValue();
    auto it = d.find(head);
    if (it == d.end()) return Value();
    if (dot == std::string_view::npos) return it->second;
    holder = it->second;
    current = &holder;
    path.remove_prefix(dot + 1);
  }
}

size_t Value::count() const {
  if (isArray()) return arrayValue().size();
  if (isDictionary()) return dictionaryValue().size();
  if (isString()) return stringValue().size();
  return 0;
}

namespace {
void describe(const Value& v, std::string& out, int indent);

void appendIndent(std::string& out, int indent) { out.append(static_cast<size_t>(indent) * 4, ' '); }

void describe(const Value& v, std::string& out, int indent) {
  switch (v.type()) {
    case Value::Type::Nil: out += "(null)"; break;
    case Value::Type::Null: out += "<null>"; break;
    case Value::Type::Bool: out += v.boolValue() ? "1" : "0"; break;
    case Value::Type::Integer: out += std::to_string(v.integerValue()); break;
    case Value::Type::Double: out += formatNumber(v.doubleValue()); break;
    case Value::Type::String: out += v.stringValue(); break;
    case Value::Type::Object: out += v.objectValue()->description(); break;
    case Value::Type::Array: {
      out += "(\n";
      const auto& a = v.arrayValue();
      for (size_t i = 0; i < a.size(); ++i) {
        appendIndent(out, indent + 1);
        describe(a[i], out, indent + 1);
        out += i + 1 < a.size() ? ",\n" : "\n";
      }
      appendIndent(out, indent);
      out += ")";
      break;
    }
    case Value::Type::Dictionary: {
      out += "{\n";
      for (const auto& [key, value] : v.dictionaryValue()) {
        appendIndent(out, indent + 1);
        out += key;
        out += " = ";
        describe(value, out, indent + 1);
        out += ";\n";
      }
      appendIndent(out, indent);
      out += "}";
      break;
    }
  }
}
}  // namespace

std::string Value::description() const {
  std::string out;
  describe(*this, out, 0);
  return out;
}

bool operator==(const Value& a, const Value& b) {
  if (a.isNumber() && b.isNumber()) {
    if (a.isDouble() || b.isDouble()) return a.doubleValue() == b.doubleValue();
    return a.integerValue() == b.integerValue();
  }
  if (a.type() != b.type()) return false;
  switch (a.type()) {
    case Value::Type::Nil:
    case Value::Type::Null: return true;
    case Value::Type::String: return a.stringValue() == b.stringValue();
    case Value::Type::Object: {
      auto x = a.objectValue(), y = b.objectValue();
      return x == y || x->isEqual(*y);
    }
    case Value::Type::Array: return a.arrayValue() == b.arrayValue();
    case Value::Type::Dictionary: return a.dictionaryValue() == b.dictionaryValue();
    default: return false;
  }
}

namespace {

void toJson(const Value& v, nlohmann::json& out) {
  switch (v.type()) {
    case Value::Type::Nil:
    case Value::Type::Null: out = nullptr; break;
    case Value::Type::Bool: out = v.boolValue(); break;
    case Value::Type::Integer: out = v.integerValue(); break;
    case Value::Type::Double: out = v.doubleValue(); break;
    case Value::Type::String: out = v.stringValue(); break;
    case Value::Type::Object: out = v.objectValue()->description(); break;
    case Value::Type::Array:
      out = nlohmann::json::array();
      for (const auto& e : v.arrayValue()) {
        nlohmann::json j;
        toJson(e, j);
        out.push_back(std::move(j));
      }
      break;
    case Value::Type::Dictionary:
      out = nlohmann::json::object();
      for (const auto& [k, e] : v.dictionaryValue()) toJson(e, out[k]);
      break;
  }
}

}  // namespace

Value Value::parseJSON(std::string_view text, bool allowFragments, std::string* error) {
  std::string message;
  Value result = detail::readJSON(text, &message);
  if (result.isNil()) {
    if (error) *error = message.empty() ? "malformed JSON" : message;
    return Value();
  }
  if (!allowFragments && !result.isArray() && !result.isDictionary()) {
    if (error) *error = "JSON text did not start with array or object and option to allow fragments not set.";
    return Value();
  }
  return result;
}

std::string Value::toJSON(bool pretty) const {
  nlohmann::json j;
  toJson(*this, j);
  return j.dump(pretty ? 2 : -1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace dk::platform
