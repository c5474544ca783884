#include "model/shared_text.h"

#include <mutex>
#include <unordered_set>

namespace dk {

namespace {

constexpr size_t kPoolLimit = 512;
constexpr size_t kLongestPooled = 64;

struct Hash {
  using is_transparent = void;
  size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  size_t operator()(const SharedText& s) const { return std::hash<std::string_view>{}(*s); }
};
struct Equal {
  using is_transparent = void;
  static std::string_view view(std::string_view s) { return s; }
  static std::string_view view(const SharedText& s) { return *s; }
  template <typename A, typename B>
  bool operator()(const A& a, const B& b) const {
    return view(a) == view(b);
  }
};

}  // namespace

SharedText internedText(std::string_view text) {
  if (text.size() > kLongestPooled) return std::make_shared<const std::string>(text);
  static std::mutex mutex;
  static auto* pool = new std::unordered_set<SharedText, Hash, Equal>();  // lives for the process
  std::lock_guard<std::mutex> lock(mutex);
  if (auto it = pool->find(text); it != pool->end()) return *it;
  auto shared = std::make_shared<const std::string>(text);
  if (pool->size() < kPoolLimit) pool->insert(shared);
  return shared;
}

}  // namespace dk
