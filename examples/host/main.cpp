// The demo host: what a host application does with DKChronoKit.
//
// It starts the local cloud simulator over HTTPS (or uses the cloud named with --cloud), checks
// that the cloud answers and picks a camera, then creates the facade with the token and the
// camera and presents the timeline from its own root screen. A person's session follows, driven
// through the UI driver (in virtual time with the embedded cloud, on the real clock with another
// one, as an app runs): browsing the history, working on one event (download, share, delete), a
// live event arriving, playing a recording, and the camera live with push-to-talk. After every
// step the window is rendered to PNG and one line says what the screen shows.
#include <cstdio>
#include <string>
#include <vector>

#include "host_options.h"
#include "host_run.h"
#include "platform/dispatch/clock.h"

int main(int argc, char** argv) {
  // The real time, read before a session in virtual time installs its manual clock.
  const ParsedHostOptions parsed = parseHostOptions(std::vector<std::string>(argv + 1, argv + argc), dk::platform::now());
  if (parsed.help) {
    std::fputs(kHostUsage, stdout);
    return 0;
  }
  if (!parsed.error.empty()) {
    std::fprintf(stderr, "dk-host: %s\n", parsed.error.c_str());
    return 2;
  }
  return runHost(parsed.options).exitCode;
}
