#include "platform/foundation/model.h"

#include <cstdio>

namespace dk::platform {

ClassInfo::ClassInfo(std::string name, const ClassInfo* superclass, std::function<ModelPtr()> factory,
                     std::vector<PropertyInfo> properties)
    : name_(std::move(name)), superclass_(superclass), factory_(std::move(factory)), own_(std::move(properties)) {
  if (superclass_) {
    for (const PropertyInfo* p : superclass_->properties()) {
      all_.push_back(p);
      byKey_[p->key] = p;
    }
  }
  for (const PropertyInfo& p : own_) {
    auto it = byKey_.find(p.key);
    if (it != byKey_.end()) {
      // A redeclared property replaces the inherited entry in place (keeps the key order).
      for (auto& slot : all_) {
        if (slot == it->second) slot = &p;
      }
    } else {
      all_.push_back(&p);
    }
    byKey_[p.key] = &p;
  }
}

const PropertyInfo* ClassInfo::property(std::string_view key) const {
  auto it = byKey_.find(key);
  return it == byKey_.end() ? nullptr : it->second;
}

bool ClassInfo::isKindOf(const ClassInfo& other) const {
  for (const ClassInfo* c = this; c; c = c->superclass_) {
    if (c == &other) return true;
  }
  return false;
}

void ClassInfo::setKeyMerge(std::string key, KeyMerge merge) { keyMerges_[std::move(key)] = std::move(merge); }

const ClassInfo::KeyMerge* ClassInfo::keyMerge(std::string_view key) const {
  for (const ClassInfo* c = this; c; c = c->superclass_) {
    auto it = c->keyMerges_.find(key);
    if (it != c->keyMerges_.end()) return &it->second;
  }
  return nullptr;
}

Value Model::valueForKey(std::string_view key) const {
  const PropertyInfo* p = classInfo().property(key);
  if (!p || !p->get) return Value();
  return p->get(*this);
}

void Model::setValueForKey(std::string_view key, const Value& value) {
  const PropertyInfo* p = classInfo().property(key);
  if (!p || !p->set) return;
  changeValueForKey(key, [&] { p->set(*this, value); });
}

bool Model::isEqual(const Object& other) const {
  if (&other == this) return true;
  const auto* model = dynamic_cast<const Model*>(&other);
  if (!model || &model->classInfo() != &classInfo()) return false;
  // Field by field, each read under its own model's lock (never both locks at once).
  for (const PropertyInfo* p : classInfo().properties()) {
    if (!p->get) continue;
    if (!(p->get(*this) == p->get(*model))) return false;
  }
  return true;
}

ValueDictionary Model::dictionaryValue() const {
  ValueDictionary out;
  for (const PropertyInfo* p : classInfo().properties()) out[p->key] = p->get ? p->get(*this) : Value();
  return out;
}

std::string Model::description() const {
  char head[128];
  std::snprintf(head, sizeof head, "<%s: %p> ", className().c_str(), static_cast<const void*>(this));
  return head + Value(dictionaryValue()).description();
}

void Model::mergeValueForKey(std::string_view key, const ModelPtr& model) {
  if (const ClassInfo::KeyMerge* merge = classInfo().keyMerge(key)) {
    (*merge)(*this, model);
    return;
  }
  if (model) setValueForKey(key, model->valueForKey(key));
}

void Model::mergeValuesForKeysFromModel(const Value& source) {
  auto model = source.objectAs<Model>();
  if (!model) return;
  const ClassInfo& theirs = model->classInfo();
  const bool sameClass = &theirs == &classInfo();
  for (const PropertyInfo* p : classInfo().properties()) {
    if (sameClass || theirs.hasProperty(p->key)) mergeValueForKey(p->key, model);
  }
}

namespace {
ErrorPtr mappingError(const std::string& text) {
  return std::make_shared<const Error>(std::string(kCocoaErrorDomain), 3840, text);
}
}  // namespace

ModelPtr modelFromJSON(const ClassInfo& requested, const Value& json, ErrorPtr* error) {
  if (!json.isDictionary()) {
    if (error) *error = mappingError("Missing JSON dictionary");
    return nullptr;
  }
  const ClassInfo* cls = &requested;
  if (cls->classForParsing) {
    if (const ClassInfo* chosen = cls->classForParsing(json)) cls = chosen;
  }
  ModelPtr model = cls->create();
  if (!model) {
    if (error) *error = mappingError("No model could be created for " + cls->name());
    return nullptr;
  }
  for (const PropertyInfo* p : cls->properties()) {
    if (p->jsonKeyPaths.empty() || !p->set) continue;
    Value value;
    if (p->jsonKeyPaths.size() == 1) {
      value = json.valueForKeyPath(p->jsonKeyPaths.front());
      if (value.isNil()) continue;  // a missing key leaves the property as initialised
    } else {
      ValueDictionary parts;
      for (const auto& path : p->jsonKeyPaths) {
        Value part = json.valueForKeyPath(path);
        if (!part.isNil()) parts[path] = part.isNull() ? Value() : part;
      }
      value = Value(std::move(parts));
    }
    if (value.isNull()) value = Value();
    if (p->fromJSON) value = p->fromJSON(value);
    p->set(*model, value.isNull() ? Value() : value);
  }
  return model;
}

std::optional<std::vector<ModelPtr>> modelsFromJSONArray(const ClassInfo& cls, const Value& json, ErrorPtr* error) {
  if (!json.isArray()) {
    if (error) *error = mappingError("Missing JSON array");
    return std::nullopt;
  }
  std::vector<ModelPtr> out;
  out.reserve(json.arrayValue().size());
  for (const Value& element : json.arrayValue()) {
    ModelPtr m = modelFromJSON(cls, element, error);
    if (!m) return std::nullopt;
    out.push_back(std::move(m));
  }
  return out;
}

namespace {
void setKeyPath(ValueDictionary& root, const std::string& path, Value value) {
  const size_t dot = path.find('.');
  if (dot == std::string::npos) {
    root[path] = std::move(value);
    return;
  }
  Value& child = root[path.substr(0, dot)];
  ValueDictionary nested = child.dictionaryValue();
  setKeyPath(nested, path.substr(dot + 1), std::move(value));
  child = Value(std::move(nested));
}
}  // namespace

Value jsonFromModel(const Model& model) {
  ValueDictionary out;
  for (const PropertyInfo* p : model.classInfo().properties()) {
    if (p->jsonKeyPaths.empty() || !p->get) continue;
    Value value = p->get(model);
    if (p->toJSON) value = p->toJSON(value);
    if (p->jsonKeyPaths.size() == 1) {
      setKeyPath(out, p->jsonKeyPaths.front(), value.isNil() ? Value::null() : value);
    } else {
      // A multi-path property's reverse transform yields {path: value}.
      for (const auto& [path, part] : value.dictionaryValue()) setKeyPath(out, path, part.isNil() ? Value::null() : part);
    }
  }
  return Value(std::move(out));
}

ValueTransform dictionaryTransformer(const ClassInfo& cls) {
  return [&cls](const Value& v) -> Value {
    if (!v.isDictionary()) return Value();
    return Value(modelFromJSON(cls, v));
  };
}

ValueTransform arrayTransformer(const ClassInfo& cls) {
  return [&cls](const Value& v) -> Value {
    if (!v.isArray()) return Value();
    ValueArray out;
    out.reserve(v.arrayValue().size());
    // Elements that are not dictionaries are skipped rather than failing the whole reply.
    for (const Value& element : v.arrayValue()) {
      if (ModelPtr m = modelFromJSON(cls, element)) out.push_back(Value(m));
    }
    return Value(std::move(out));
  };
}

ValueTransform reverseModelTransformer() {
  return [](const Value& v) -> Value {
    if (auto m = v.objectAs<Model>()) return jsonFromModel(*m);
    if (v.isArray()) {
      ValueArray out;
      for (const Value& e : v.arrayValue()) {
        auto m = e.objectAs<Model>();
        out.push_back(m ? jsonFromModel(*m) : e);
      }
      return Value(std::move(out));
    }
    return v;
  };
}

}  // namespace dk::platform
