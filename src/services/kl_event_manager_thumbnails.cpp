#include "foundation/credential_storage.h"
#include "foundation/kl_server.h"
#include "platform/media/images/image_view_web_cache.h"
#include "platform/ui/main_thread.h"
#include "services/image_view_rescale.h"
#include "services/kl_event_manager.h"

namespace dk {

void KLEventManager::setImageForView(const std::shared_ptr<platform::ImageView>& view, const KLEventPtr& event,
                                     std::function<void()> completion,
                                     std::shared_ptr<platform::ImageDownloader> downloader) {
  DK_ASSERT_MAIN_THREAD();
  if (!downloader) downloader = platform::ImageDownloader::sharedDownloader();
  auto credential = retrieveCredential();
  // No stored credential: no header at all rather than "Bearer " with nothing after it.
  downloader->setValueForHTTPHeaderField(
      credential && !credential->accessToken().empty()
          ? std::optional<std::string>("Bearer " + credential->accessToken())
          : std::nullopt,
      "Authorization");
  downloader->setValueForHTTPHeaderField("image/jpeg", "Accept");
  downloader->setCredentialServer(KLServer::sharedInstance()->baseURL());

  auto clear = [](platform::ImageView& v) {
    v.setImage(nullptr);
    v.setBackgroundColor(platform::Color::clear());
  };
  KLEventSnapshotRequest request;
  const std::optional<int64_t> eventID = event ? event->eventID() : std::nullopt;
  request.eventID = eventID;
  const std::string path = request.requestURL();
  if (!view) {
    if (completion) completion();
    return;
  }
  if (!eventID || path.empty()) {
    // Nothing names the image: the view shows nothing, as after a failed load.
    clear(*view);
    if (completion) completion();
    return;
  }
  std::weak_ptr<platform::ImageView> weakView = view;
  const std::string url = KLServer::sharedInstance()->baseURL() + "/" + path;
  platform::setImageWithURL(
      *view, url, nullptr, platform::kImageRetryFailed,
      [weakView, id = *eventID, clear, completion = std::move(completion)](
          platform::ImagePtr image, platform::ErrorPtr error, bool, const std::string&) {
        if (auto shown = weakView.lock()) {
          if (image && !error && shown->tag() == id) {
            shown->setContentMode(platform::ContentMode::Center);
            rescaleImage(*shown, image);
          } else {
            clear(*shown);
          }
        }
        if (completion) completion();
      },
      downloader);
}

}  // namespace dk
