// JSON to every model class through the registry: any JSON maps (or is refused) without fault,
// and a mapped model merges into a fresh one of its class and describes itself.
#include <cstdint>
#include <string>
#include <string_view>

#include "model/model_registry.h"
#include "platform/dispatch/run_loop.h"
#include "platform/foundation/json_reader.h"
#include "platform/foundation/model.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace dk::platform;
  if (size == 0) return 0;
  // The first byte picks the class; the rest is the reply.
  const auto& classes = dk::allModelClasses();
  const ClassInfo& cls = *classes[data[0] % classes.size()];
  std::string error;
  const Value json = detail::readJSON(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1), &error);
  if (json.isNil()) return 0;
  Value wrapped = json;
  if (Value list = dk::objectDictionaryFromDictionary(cls, json); !list.isNil()) wrapped = list;
  ErrorPtr mappingError;
  ModelPtr model = modelFromJSON(cls, wrapped, &mappingError);
  (void)modelsFromJSONArray(cls, json, nullptr);
  if (!model) return 0;
  (void)model->description();
  (void)jsonFromModel(*model);
  if (ModelPtr cached = cls.create()) {
    cached->mergeValuesForKeysFromModel(Value(model));
    (void)cached->isEqual(*model);
  }
  // Merges of some lists finish on the main queue: run what they left there.
  MainRunLoop::runPending();
  return 0;
}
