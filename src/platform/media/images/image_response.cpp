#include "platform/media/images/image_response.h"

#include <mutex>

#include "platform/foundation/data.h"
#include "platform/graphics/screen_scale.h"
#include "platform/net/response_serializer.h"

namespace dk::platform {

void installImageResponseDecoder() {
  static std::once_flag once;
  std::call_once(once, [] {
    setImageDecoder([](const DataPtr& data) -> Value {
      if (!data) return Value();
      const std::string& bytes = data->bytes();
      const std::vector<std::uint8_t> encoded(bytes.begin(), bytes.end());
      ImagePtr image = Image::fromEncodedData(encoded, mainScreenScale());
      return image ? Value(std::make_shared<ImageObject>(std::move(image))) : Value();
    });
  });
}

}  // namespace dk::platform
