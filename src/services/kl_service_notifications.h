// Notification names the domain managers observe and the user-info keys they read.
#pragma once

namespace dk {

// Posted by the host when a camera was removed from the account; user info {"cameraId": id}.
// The event and recording managers drop that camera's cached lists.
inline constexpr char kCameraDeletedNotification[] = "kCameraDeletedNotification";
inline constexpr char kCameraIdUserInfoKey[] = "cameraId";

}  // namespace dk
