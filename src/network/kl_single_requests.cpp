#include "network/kl_single_requests.h"

#include <cstdlib>

#include "network/kl_request_keys.h"
#include "network/kl_request_support.h"

namespace dk {

using platform::Value;
using platform::ValueDictionary;
using request_support::valueOrEmpty;

Value KLDeviceTypesRequest::parameters() const {
  return Value(ValueDictionary{{kIncludeCapabilitiesKey, Value(includeCapabilities)},
                               {kIncludeLocalConnectionKey, Value(includeLocalConnection)}});
}

Value KLEventTypeDetailsListRequest::parameters() const {
  return Value(ValueDictionary{{kLanguageKey, Value(currentLanguageCode())}});
}

Value KLUserUpdateRequest::parameters() const {
  return Value(ValueDictionary{{kFirstNameKey, valueOrEmpty(firstName)},
                               {kLastNameKey, valueOrEmpty(lastName)},
                               {kEmailKey, valueOrEmpty(email)}});
}

Value KLUserDetailsUpdateRequest::parameters() const {
  return Value(ValueDictionary{{kCompanyKey, valueOrEmpty(company)},
                               {kTelephoneKey, valueOrEmpty(telephone)},
                               {kCountryKey, valueOrEmpty(countryIso)}});
}

std::string KLDeviceRequest::requestURL() const {
  std::string_view path = request();
  if (path.empty()) return {};
  return std::string("https://") + kAccessPointAddress + std::string(path);
}

std::string currentLanguageCode() {
  // POSIX precedence of the message-catalogue locale.
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(variable);
    if (!value || !*value) continue;
    std::string_view locale(value);
    if (locale == "C" || locale == "POSIX" || locale.rfind("C.", 0) == 0) return "en";
    size_t end = locale.find_first_of("_.@-");
    std::string code(locale.substr(0, end));
    if (!code.empty()) return code;
  }
  return "en";
}

}  // namespace dk
