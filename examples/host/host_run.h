// The demo host's run: the cloud, the camera, then a person's session on the timeline.
#pragma once

#include <string>

#include "host_options.h"

struct HostOutcome {
  int exitCode = 0;     // 0: the whole session ran; 1: it stopped at a failure
  std::string failure;  // what stopped it, as printed and shown on the last picture
  int pictures = 0;
};

// Runs on the calling thread, which becomes the main thread. In virtual time it installs a manual
// clock starting at options.start, and the run loop's step of it while calls stall, and leaves
// both installed; on the real clock it installs the system clock and no step.
HostOutcome runHost(const HostOptions& options);
