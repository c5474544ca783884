// The pictures the simulated cloud serves: a scene that belongs to one camera (a porch, a
// garden, a living room or a driveway, tinted per camera) with a caption band naming what the
// picture shows and when, drawn with cairo and pango and encoded as a baseline JPEG by libjpeg.
// Event thumbnails carry the event's type, identifier and local time; snapshots the camera's
// name and the world's current time. So a rendered timeline shows which picture is whose.
//
// Pure functions; thread-safe (each thread draws with its own text context).
#pragma once

#include <cstdint>
#include <string>

#include "cloud-sim/world.h"
#include "media.h"

namespace dk::cloudsim::detail {

struct SceneCaption {
  std::string title;   // large, beside the accent badge
  std::string detail;  // smaller, below the title
  std::string corner;  // top right (an event's number), may be empty
  Rgb accent;
};

// A width x height JPEG of camera `cameraId`'s scene with its name top left and the caption.
std::string renderSceneJpeg(int width, int height, int64_t cameraId, const std::string& cameraName,
                            const SceneCaption& caption);

// The 320 x 180 thumbnail of an event.
std::string eventThumbnailJpeg(const Event& event, const World& world);
// A camera's snapshot at the asked size, captioned with the world's current time.
std::string cameraSnapshotJpeg(const Camera& camera, const World& world, int width, int height);

// "Motion", "Infrared", "Sound", "Doorbell", "Person", ... for an event type (and category).
std::string eventLabel(const std::string& type, const std::string& category);
// "2023-11-14 23:13:20" in the world's local time.
std::string localTimeText(double seconds, int utcOffsetSeconds);

}  // namespace dk::cloudsim::detail
