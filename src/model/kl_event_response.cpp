#include "model/kl_event_response.h"

#include <cctype>
#include <cstdio>
#include <filesystem>

#include "foundation/date_formatting.h"
#include "foundation/kl_server.h"
#include "model/model_keys.h"
#include "platform/foundation/app_directories.h"
#include "platform/foundation/link_header.h"
#include "platform/foundation/user_defaults.h"

namespace dk {

using platform::ClassInfo;
using platform::property;
using platform::Value;

const ClassInfo& KLEventURLResponse::staticClassInfo() {
  static const ClassInfo info("KLEventURLResponse", &KLResponse::staticClassInfo(),
                              [] { return std::make_shared<KLEventURLResponse>(); },
                              {property("mp4Https", &KLEventURLResponse::mp4Https_, {std::string(kMp4HttpsKey)})});
  return info;
}

// ---- KLEventResponse ----

const ClassInfo& KLEventResponse::staticClassInfo() {
  using E = KLEventResponse;
  static const ClassInfo info(
      "KLEventResponse", &KLResponse::staticClassInfo(), [] { return std::make_shared<KLEventResponse>(); },
      {property("cameraID", &E::cameraID_, {"source.sourceId"}),
       property("eventID", &E::eventID_, {std::string(kEventsIDKey)}),
       property("stringTimestamp", &E::stringTimestamp, &E::setStringTimestamp, {std::string(kTimestampKey)}),
       property("type", &E::type, &E::setType, {std::string(kEventTypeKey)}),
       property("urls", &E::urls_, {"streamUrls"}, platform::dictionaryTransformer(KLEventURLResponse::staticClassInfo()),
                platform::reverseModelTransformer()),
       property("faceId", &E::faceId, &E::setFaceId, {"faceId"}),
       property("category", &E::category, &E::setCategory, {"category"}),
       property("timestamp", &E::timestamp, &E::setTimestamp),
       property("date", &E::date, &E::setDate),
       property("time", &E::time, &E::setTime),
       property("simpleTime", &E::simpleTime, &E::setSimpleTime),
       property("formattedDate", &E::formattedDate, &E::setFormattedDate),
       property("downloadProgress", &E::downloadProgress_),
       property("eventFilter", &E::eventFilter, &E::setEventFilter),
       property("imageURL", &E::imageURL, &E::setImageURL),
       property("eventType", &E::eventType, &E::setEventType)});
  return info;
}

std::optional<std::string> KLEventResponse::stringTimestamp() const { return guardedGet(stringTimestamp_); }

void KLEventResponse::setStringTimestamp(std::optional<std::string> text) {
  std::lock_guard<std::recursive_mutex> lock(propertyMutex());
  if (text) setTimestamp(secondsFromStringDate(*text));  // 0 when it does not parse
  stringTimestamp_ = std::move(text);
}

std::optional<double> KLEventResponse::timestamp() const { return guardedGet(timestamp_); }

void KLEventResponse::setTimestamp(std::optional<double> seconds) {
  std::lock_guard<std::recursive_mutex> lock(propertyMutex());
  if (seconds) {
    // The texts are formatted on first read: mapping a page formats nothing.
    if (rare_) {
      rare_->date.reset(), rare_->time.reset(), rare_->simpleTime.reset(), rare_->formattedDate.reset();
      rare_->keptSeconds.reset();
    }
  } else if (timestamp_) {
    rareLocked().keptSeconds = timestamp_;  // the texts still come from the last seconds set
  }
  timestamp_ = seconds;
}

KLEventResponse::Rare& KLEventResponse::rareLocked() const {
  if (!rare_) rare_ = std::make_unique<Rare>();
  return *rare_;
}

std::optional<double> KLEventResponse::derivedSecondsLocked() const {
  if (timestamp_) return timestamp_;
  return rare_ ? rare_->keptSeconds : std::nullopt;
}

void KLEventResponse::fillDerivedLocked() const {
  const auto from = derivedSecondsLocked();
  if (!from) return;
  const double seconds = *from;
  Rare& rare = rareLocked();
  if (!rare.date) rare.date = dateFromSeconds(seconds);
  if (!rare.time) rare.time = calendarComponents(seconds);
  if (!rare.simpleTime) rare.simpleTime = dk::time(seconds);
  if (!rare.formattedDate) rare.formattedDate = formattedStringDateFromSeconds(seconds);
}

std::optional<double> KLEventResponse::date() const {
  std::lock_guard<std::recursive_mutex> lock(propertyMutex());
  if (!rare_ || !rare_->date) fillDerivedLocked();
  return rare_ ? rare_->date : std::nullopt;
}
std::optional<std::string> KLEventResponse::time() const {
  std::lock_guard<std::recursive_mutex> lock(propertyMutex());
  if (!rare_ || !rare_->time) fillDerivedLocked();
  return rare_ ? rare_->time : std::nullopt;
}
std::optional<std::string> KLEventResponse::simpleTime() const {
  std::lock_guard<std::recursive_mutex> lock(propertyMutex());
  if (!rare_ || !rare_->simpleTime) fillDerivedLocked();
  return rare_ ? rare_->simpleTime : std::nullopt;
}
std::optional<std::string> KLEventResponse::formattedDate() const {
  std::lock_guard<std::recursive_mutex> lock(propertyMutex());
  if (!rare_ || !rare_->formattedDate) fillDerivedLocked();
  return rare_ ? rare_->formattedDate : std::nullopt;
}
void KLEventResponse::setDate(std::optional<double> date) {
  std::lock_guard<std::recursive_mutex> lock(propertyMutex());
  rareLocked().date = date;
}
void KLEventResponse::setTime(std::optional<std::string> text) {
  std::lock_guard<std::recursive_mutex> lock(propertyMutex());
  rareLocked().time = std::move(text);
}
void KLEventResponse::setSimpleTime(std::optional<std::string> text) {
  std::lock_guard<std::recursive_mutex> lock(propertyMutex());
  rareLocked().simpleTime = std::move(text);
}
void KLEventResponse::setFormattedDate(std::optional<std::string> text) {
  std::lock_guard<std::recursive_mutex> lock(propertyMutex());
  rareLocked().formattedDate = std::move(text);
}

std::optional<std::string> KLEventResponse::type() const {
  std::lock_guard<std::recursive_mutex> lock(propertyMutex());
  return optionalText(type_);
}
void KLEventResponse::setType(std::optional<std::string> type) {
  auto text = internedText(type);
  changeValueForKey("type", [&] { guardedSet(type_, std::move(text)); });
}
std::optional<std::string> KLEventResponse::category() const {
  std::lock_guard<std::recursive_mutex> lock(propertyMutex());
  return optionalText(category_);
}
void KLEventResponse::setCategory(std::optional<std::string> category) {
  auto text = internedText(category);
  changeValueForKey("category", [&] { guardedSet(category_, std::move(text)); });
}
std::optional<std::string> KLEventResponse::faceId() const {
  std::lock_guard<std::recursive_mutex> lock(propertyMutex());
  return rare_ ? rare_->faceId : std::nullopt;
}
void KLEventResponse::setFaceId(std::optional<std::string> faceId) {
  changeValueForKey("faceId", [&] {
    std::lock_guard<std::recursive_mutex> lock(propertyMutex());
    if (faceId || rare_) rareLocked().faceId = std::move(faceId);
  });
}

KLEventType KLEventResponse::eventType() const {
  static constexpr std::string_view kTypes[] = {"vmdDetected", "pirDetected", "audioDetected", "audioCategorized"};
  const auto t = type();
  if (!t) return KLEventTypeOther;
  for (int i = 0; i < 4; ++i) {
    if (*t == kTypes[i]) return static_cast<KLEventType>(i);
  }
  return KLEventTypeOther;
}
void KLEventResponse::setEventType(KLEventType type) {
  std::lock_guard<std::recursive_mutex> lock(propertyMutex());
  rareLocked().storedEventType = type;
}

std::string KLEventResponse::eventFilter() const { return type().value_or(""); }
void KLEventResponse::setEventFilter(std::string filter) {
  std::lock_guard<std::recursive_mutex> lock(propertyMutex());
  rareLocked().storedEventFilter = std::move(filter);
}

std::optional<std::string> KLEventResponse::imageURL() const {
  const auto id = eventID();
  if (!id) return std::nullopt;
  return KLServer::sharedInstance()->baseURL() + "/rest/v2.4/events/" + std::to_string(*id) + ".jpg";
}
void KLEventResponse::setImageURL(std::optional<std::string> url) {
  std::lock_guard<std::recursive_mutex> lock(propertyMutex());
  rareLocked().storedImageURL = std::move(url);
}

bool KLEventResponse::isEqual(const platform::Object& other) const {
  if (&other == this) return true;
  const auto* event = dynamic_cast<const KLEventResponse*>(&other);
  if (!event) return false;
  const auto mine = eventID(), theirs = event->eventID();
  return mine && theirs && *mine == *theirs;
}

void KLEventResponse::mergeMethodForKey(std::string_view key, const platform::ModelPtr& model) {
  mergePresentValueForKey(key, model);
}

// ---- KLEventListResponse ----

namespace {
// The page's events, each mapped on its own. An event whose "eventId" the reply holds but that
// does not fit in 64 bits is left out: without its identifier it would equal only itself, and
// every merge of the same page would add it once more.
platform::ValueTransform eventsTransformer() {
  return [](const Value& v) -> Value {
    if (!v.isArray()) return Value();
    platform::ValueArray out;
    out.reserve(v.arrayValue().size());
    for (const Value& element : v.arrayValue()) {
      auto event = platform::modelFromJSON<KLEventResponse>(element);
      if (!event || (!event->eventID() && !element[kEventsIDKey].isNilOrNull())) continue;
      out.emplace_back(std::move(event));
    }
    return Value(std::move(out));
  };
}

platform::ValueTransform linkHeaderTransformer() {
  return [](const Value& v) -> Value {
    if (!v.isString()) return Value();
    return Value(KLEventListResponse::nextPageURLFromLinkHeader(v.stringValue()));
  };
}
}  // namespace

KLEventListResponse::KLEventListResponse()
    : eventsRequestQueue_(platform::DispatchQueue::createSerial("com.corvexio.EventsRequestQueue")),
      initialEventsRequestQueue_(platform::DispatchQueue::createSerial("com.corvexio.InitialEventsRequestQueue")),
      eventsHandleQueue_(platform::DispatchQueue::createSerial("com.corvexio.EventsHandleQueue")) {}

const ClassInfo& KLEventListResponse::staticClassInfo() {
  using L = KLEventListResponse;
  static const ClassInfo info(
      "KLEventListResponse", &KLListResponse::staticClassInfo(), [] { return std::make_shared<KLEventListResponse>(); },
      {property("values", &L::values, &L::setValues, {"events"}, eventsTransformer(), platform::reverseModelTransformer()),
       property("nextEventsBatchURL", &L::nextEventsBatchURL_, {"responseHeader.Link"}, linkHeaderTransformer()),
       property("oldEventsFinishedLoading", &L::oldEventsFinishedLoading_)});
  return info;
}

bool KLEventListResponse::Index::contains(const KLEventResponse& event) const {
  if (auto id = event.eventID()) return byID.count(*id) != 0;
  return withoutID.count(&event) != 0;
}

void KLEventListResponse::Index::add(const KLEventPtr& event) {
  if (auto id = event->eventID()) {
    byID.emplace(*id, event);  // the first event of an identifier answers look-ups
  } else {
    withoutID.insert(event.get());
  }
}

Value KLEventListResponse::values() const {
  {
    std::lock_guard<std::mutex> lock(indexMutex_);
    if (valuesNil_) return Value();
  }
  return valueArray(events().toVector());
}

void KLEventListResponse::setValues(Value values) {
  replaceEvents(modelsOfClass<KLEventResponse>(values), values.isNil());
}

void KLEventListResponse::replaceEvents(std::vector<KLEventPtr> events, bool nil) {
  Index index;
  for (const auto& event : events) index.add(event);
  std::lock_guard<std::mutex> lock(indexMutex_);
  index_ = std::move(index);
  valuesNil_ = nil;
  store_.assign(std::move(events));
}

KLEventPtr KLEventListResponse::getNewestEvent() const {
  auto snapshot = events();
  return snapshot.empty() ? nullptr : snapshot.front();
}

KLEventPtr KLEventListResponse::eventWithID(std::optional<int64_t> eventID) const {
  if (!eventID) return nullptr;
  std::lock_guard<std::mutex> lock(indexMutex_);
  auto it = index_.byID.find(*eventID);
  return it == index_.byID.end() ? nullptr : it->second;
}

void KLEventListResponse::mergeMethodForKey(std::string_view key, const platform::ModelPtr& model) {
  if (key == "values") mergeAllEventsForKey(key, model);
}

void KLEventListResponse::mergeAllEventsForKey(std::string_view, const platform::ModelPtr& model) {
  auto other = std::dynamic_pointer_cast<KLEventListResponse>(model);
  std::vector<KLEventPtr> incoming;
  if (other) {
    auto snapshot = other->events();
    incoming.assign(snapshot.begin(), snapshot.end());
  } else if (model) {
    incoming = modelsOfClass<KLEventResponse>(model->valueForKey("values"));
  }
  eventsHandleQueue_->sync([&] {
    std::lock_guard<std::mutex> lock(indexMutex_);
    std::vector<KLEventPtr> added;
    for (const auto& event : incoming) {
      // The index grows with each appended event, so a page repeating an event adds it once.
      if (!event || index_.contains(*event)) continue;
      index_.add(event);
      added.push_back(event);
    }
    valuesNil_ = false;
    store_.append(added.begin(), added.end());
  });
}

void KLEventListResponse::deleteEventWithEventID(std::optional<int64_t> eventID) {
  auto self = std::static_pointer_cast<KLEventListResponse>(shared_from_this());
  eventsHandleQueue_->async([self, eventID] {
    KLEventPtr event = self->eventWithID(eventID);
    if (!event) return;
    deleteSavedFilesForEvent(event);
    // Every event with that identifier goes, as removing an equal object from a list does.
    std::vector<KLEventPtr> remaining;
    for (const auto& e : self->events()) {
      if (!e || e->eventID() != eventID) remaining.push_back(e);
    }
    self->replaceEvents(std::move(remaining), false);
  });
}

void KLEventListResponse::deleteSavedFilesForEvent(const KLEventPtr& event) {
  if (!event) return;
  const std::string id = Value(event->eventID()).description();
  if (platform::UserDefaults::standard()->objectForKey("Event-" + id + ".mp4").isNil()) return;
  const std::filesystem::path file = platform::AppDirectories::documents() / (id + ".mp4");
  std::error_code error;
  std::filesystem::remove(file, error);
  if (error) std::fprintf(stderr, "ERROR deleting from disk -->>> %s\n", error.message().c_str());
}

Value KLEventListResponse::objectDictionaryFromDictionary(const Value& dictionary) {
  return Value(platform::ValueDictionary{{"events", Value(platform::ValueArray{dictionary})}});
}

namespace {

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

}  // namespace

std::optional<std::string> KLEventListResponse::nextPageURLFromLinkHeader(std::string_view header) {
  auto target = platform::linkTargetWithRelation(header, "next");
  if (!target) return std::nullopt;
  return std::string(trim(*target));
}

}  // namespace dk
