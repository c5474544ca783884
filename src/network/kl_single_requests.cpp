#include "network/kl_single_requests.h"

#include "network/kl_request_keys.h"
#include "network/kl_request_support.h"
#include "platform/foundation/locale.h"

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

std::string currentLanguageCode() { return platform::Locale::current().languageCode(); }

}  // namespace dk
