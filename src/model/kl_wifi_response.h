// KLWiFiResponse: one network a camera reports (connected, visible or saved), absorbing the key
// variations of the camera families ("ssid"/"essid", "state"/"status", "networkId"/"id") and
// reducing signal strength to three levels. KLModemResponse: a mobile-network record.
// KLWiFiListResponse: one camera's networks in three lists, plus one merged, de-duplicated,
// sorted view of every network it has reported (`values`).
//
// Thread safety: fields are read and written under each model's own mutex; savedAndOrVisible and
// the list's arrays may be read from any queue while one queue merges into the list.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/kl_response.h"

namespace dk {

class KLWiFiResponse : public KLResponse {
 public:
  static const platform::ClassInfo& staticClassInfo();
  const platform::ClassInfo& classInfo() const override { return staticClassInfo(); }

  // {"ssid": ..., "essid": ...}: the value of each of those keys the record had.
  DK_MODEL_PROPERTY(platform::Value, wifiIDVariations, setWifiIDVariations);
  DK_MODEL_PROPERTY(std::optional<std::string>, password, setPassword);
  DK_MODEL_PROPERTY(std::optional<int64_t>, encrypted, setEncrypted);
  DK_MODEL_PROPERTY(std::optional<bool>, preferred, setPreferred);
  DK_MODEL_PROPERTY(platform::Value, stateVariations, setStateVariations);
  DK_MODEL_PROPERTY(platform::Value, networkIDVariations, setNetworkIDVariations);
  DK_MODEL_PROPERTY(std::optional<std::string>, strength, setStrength);
  DK_MODEL_PROPERTY(std::optional<std::string>, encryption, setEncryption);
  DK_MODEL_PROPERTY(std::optional<std::string>, networkType, setNetworkType);
  DK_MODEL_PROPERTY(std::optional<std::string>, network, setNetwork);
  DK_MODEL_PROPERTY(std::optional<int64_t>, strengthPercentage, setStrengthPercentage);
  DK_MODEL_PROPERTY(std::optional<int64_t>, enabled, setEnabled);
  DK_MODEL_PROPERTY(std::optional<std::string>, errorCode, setErrorCode);
  DK_MODEL_PROPERTY(std::optional<std::string>, errorMessage, setErrorMessage);
  DK_MODEL_PROPERTY(int32_t, successError, setSuccessError);

 public:
  // The stored value when one was set; otherwise the variation of the primary key ("ssid",
  // "state", "networkId"), then of the other; nullopt when neither was sent.
  std::optional<std::string> wifiID() const;
  void setWifiID(std::optional<std::string> id);
  std::optional<std::string> state() const;
  void setState(std::optional<std::string> state);
  std::optional<std::string> networkID() const;
  void setNetworkID(std::optional<std::string> id);

  // 0 low, 1 medium, 2 high: from the strength word when there is one ("low", "medium", any other
  // is high), else from the percentage (0-50 low, 51-75 medium, above or negative high).
  int32_t wifiStrength() const;
  void setWifiStrength(int32_t strength);

  // Copies the other network's value unless it is nil, an empty array or an empty dictionary.
  void mergeMethodForKey(std::string_view key, const platform::ModelPtr& model) override;

 private:
  std::optional<std::string> wifiID_, state_, networkID_;
  int32_t storedStrength_ = 0;
};

using KLWiFiPtr = std::shared_ptr<KLWiFiResponse>;
using WiFis = std::vector<KLWiFiPtr>;

class KLModemResponse : public KLWiFiResponse {
 public:
  static const platform::ClassInfo& staticClassInfo();
  const platform::ClassInfo& classInfo() const override { return staticClassInfo(); }
  DK_MODEL_PROPERTY(std::optional<std::string>, configID, setConfigID);
  DK_MODEL_PROPERTY(std::optional<std::string>, imsi, setImsi);
};

class KLWiFiListResponse : public KLListResponse {
 public:
  static const platform::ClassInfo& staticClassInfo();
  const platform::ClassInfo& classInfo() const override { return staticClassInfo(); }

  DK_MODEL_PROPERTY(WiFis, status, setStatus);    // the connected network ("wifiStatus")
  DK_MODEL_PROPERTY(WiFis, visible, setVisible);  // networks in range ("wifiVisible")
  DK_MODEL_PROPERTY(WiFis, saved, setSaved);      // networks stored on the camera ("wifiSaved")
  DK_MODEL_PROPERTY(int32_t, successError, setSuccessError);

 public:
  // Every network the lists have brought, merged by wifiID; grows through merges only.
  WiFis networks() const { return modelsOfClass<KLWiFiResponse>(values()); }

  // The saved or visible networks other than the connected one, sorted; cached until the next
  // merge or flush.
  WiFis savedAndOrVisible() const;
  // Empties the three lists (the camera went offline).
  void flushWiFiList();

  bool isStatusWifi(const KLWiFiPtr& wifi) const;
  bool isSavedWifi(const KLWiFiPtr& wifi) const;
  bool isVisibleWifi(const KLWiFiPtr& wifi) const;

  // The connected network first, then saved, then visible ones; within a group preferred before
  // not preferred, stronger before weaker, then by name (localised, case-insensitive). A stable
  // sort over total keys, so every order is well defined.
  WiFis sortWifisByStrengthAndName(const WiFis& wifis) const;

  // A JSON array as networks, keeping the first of each wifiID and none without one; nil for a
  // value that is not an array.
  static platform::Value transformerForWifis(const platform::Value& json);

  using KLListResponse::mergeMethodForKey;
  // "status", "visible", "saved": the list takes the other's networks (sorted) and folds them into
  // `values`; other keys are not merged.
  void mergeMethodForKey(std::string_view key, const platform::ModelPtr& model) override;

 private:
  static bool contains(const WiFis& list, const KLWiFiPtr& wifi);
  static bool contains(const WiFis& list, const std::optional<std::string>& wifiID);

  mutable std::optional<WiFis> wifiList_;  // the savedAndOrVisible cache
};

using KLWiFiListPtr = std::shared_ptr<KLWiFiListResponse>;

}  // namespace dk
