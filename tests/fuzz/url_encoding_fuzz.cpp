// URL helpers: percent-encoding round trips for any bytes, and a query built from parameters
// splits back into the same keys and values.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/foundation/value.h"
#include "platform/net/url.h"

namespace {

[[noreturn]] void fail(const char* what, std::string_view input) {
  std::fprintf(stderr, "%s for input of %zu bytes\n", what, input.size());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace dk::platform;
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  const std::string escaped = percentEscape(text);
  for (unsigned char c : escaped) {
    if (c <= 0x20 || c >= 0x7f || c == '&' || c == '=' || c == '+' || c == '#' || c == '[' || c == ']')
      fail("percentEscape left a character that must be escaped", text);
  }
  if (percentDecode(escaped) != text) fail("percentDecode(percentEscape(x)) != x", text);
  (void)percentDecode(text);  // any text decodes without fault

  // Two parameters cut from the input: the query holds exactly them, in key order.
  const size_t cut = size / 2;
  const std::string key = "k" + std::string(text.substr(0, cut)), value = std::string(text.substr(cut));
  const std::string query = queryStringFromParameters(Value(ValueDictionary{{key, Value(value)}, {"z", Value(int64_t{7})}}));
  const auto items = queryItems("https://h/p?" + query);
  if (items.size() != 2u) fail("query splits into another number of items", text);
  // "k..." sorts before "z"; keys and values come back decoded.
  if (items[0].first != key || items[0].second != value) fail("first query item differs", text);
  if (items[1].first != "z" || items[1].second != "7") fail("second query item differs", text);

  // Any text resolves and parses without fault.
  (void)resolveURL("https://host:8443/a/b?q", text);
  (void)parseURL(text);
  (void)queryItems(text);
  return 0;
}
