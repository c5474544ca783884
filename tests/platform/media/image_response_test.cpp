#include <gtest/gtest.h>

#include "platform/foundation/data.h"
#include "platform/graphics/screen_scale.h"
#include "platform/media/images/image_response.h"
#include "platform/net/response_serializer.h"

namespace dk::platform {
namespace {

std::shared_ptr<const HttpResponseInfo> pngReply() {
  auto response = std::make_shared<HttpResponseInfo>();
  response->statusCode = 200;
  response->headers["Content-Type"] = "image/png";
  return response;
}

TEST(ImageResponse, ImageRepliesDecodeToImagesAtTheScreenScale) {
  installImageResponseDecoder();
  const auto encoded = Image::create(Size{8, 4}, 1.0)->encodePNG();
  auto data = std::make_shared<const Data>(std::string(encoded.begin(), encoded.end()), "image/png");
  ErrorPtr error;
  Value decoded = decodeResponseBody(ResponseSerializerKind::Image, pngReply(), data, &error);
  auto object = decoded.objectAs<ImageObject>();
  ASSERT_TRUE(object);
  EXPECT_EQ(object->className(), "UIImage");
  EXPECT_EQ(object->image()->pixelWidth(), 8);
  EXPECT_DOUBLE_EQ(object->image()->scale(), mainScreenScale());
  EXPECT_FALSE(error);
}

TEST(ImageResponse, BytesThatAreNoImageDecodeToNil) {
  installImageResponseDecoder();
  auto data = std::make_shared<const Data>(std::string("<html>not an image</html>"), "image/png");
  ErrorPtr error;
  EXPECT_TRUE(decodeResponseBody(ResponseSerializerKind::Image, pngReply(), data, &error).isNil());
}

}  // namespace
}  // namespace dk::platform
