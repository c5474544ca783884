#include "network/kl_single_requests.h"

#include "network/request_keys.h"
#include "network/request_support.h"
#include "platform/foundation/locale.h"

namespace dk {

using platform::Value;
using platform::ValueDictionary;
using request_support::valueOrEmpty;

Value KLDeviceTypesRequest::parameters() const {
  return Value(ValueDictionary{{std::string(kIncludeCapabilitiesKey), Value(includeCapabilities)},
                               {std::string(kIncludeLocalConnectionKey), Value(includeLocalConnection)}});
}

Value KLEventTypeDetailsListRequest::parameters() const {
  return Value(ValueDictionary{{std::string(kLanguageKey), Value(currentLanguageCode())}});
}

Value KLUserUpdateRequest::parameters() const {
  return Value(ValueDictionary{{std::string(kFirstNameKey), valueOrEmpty(firstName)},
                               {std::string(kLastNameKey), valueOrEmpty(lastName)},
                               {std::string(kEmailKey), valueOrEmpty(email)}});
}

Value KLUserDetailsUpdateRequest::parameters() const {
  return Value(ValueDictionary{{std::string(kCompanyKey), valueOrEmpty(company)},
                               {std::string(kTelephoneKey), valueOrEmpty(telephone)},
                               {std::string(kCountryKey), valueOrEmpty(countryIso)}});
}

std::string KLDeviceRequest::requestURL() const {
  std::string_view path = request();
  if (path.empty()) return {};
  return std::string("https://") + kAccessPointAddress + std::string(path);
}

std::string currentLanguageCode() { return platform::Locale::current().languageCode(); }

}  // namespace dk
