// What the models need from the foundation layer (server timestamps, localised texts, user
// defaults, the server address, string helpers), gathered behind one small interface so that the
// models read the same way whichever layer provides each piece.
//
// Stateless free functions; safe from any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/value.h"

namespace dk::bridge {

// Seconds since 1970 of a server time "yyyy-MM-dd'T'HH:mm:ss.SSSXXX" ("Z" accepted for the
// offset); nullopt when the text does not parse (milliseconds are required).
std::optional<double> secondsFromServerTimestamp(std::string_view text);

// Midnight (seconds since 1970) of the day holding `seconds`, on the DST-free calendar.
double midnightForSeconds(double seconds);
// The instant's time of day as the long time style prints it (the "calendar components" text).
std::string calendarComponentsText(double seconds);
// The instant's time of day as the short time style prints it.
std::string simpleTimeText(double seconds);
// "March 3rd": the full month name, the day and its English ordinal suffix.
std::string formattedStringDateFromSeconds(double seconds);

// The REST base URL of the server settings ("https://host:443").
std::string serverBaseURL();

// The standard user defaults.
platform::Value userDefaultsObjectForKey(std::string_view key);
void userDefaultsSetObject(std::string_view key, const platform::Value& value);
void userDefaultsRemoveObject(std::string_view key);

// The current locale's display name of a country code ("DE" -> "Germany"); nullopt when unknown.
std::optional<std::string> countryDisplayName(std::string_view isoCode);

// The host's (main bundle's) text for a localisation key; without a default, the key itself.
std::string localizedString(std::string_view key, std::optional<std::string_view> defaultValue = std::nullopt);

// The app's documents folder (created when missing).
std::string documentsDirectory();

// Address checks of the camera records: a dotted IPv4 address other than "0.0.0.0"; a MAC
// address of six hexadecimal pairs joined by ":" or "-", other than all zeros.
bool validateIPAddress(std::string_view address);
bool validateMacAddress(std::string_view address);

// A dictionary without its null values and empty strings (top level only).
platform::ValueDictionary removeAllNullValuesFromDictionary(const platform::ValueDictionary& dictionary);

// One plain console line.
void logLine(const std::string& line);

}  // namespace dk::bridge
