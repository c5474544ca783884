// cloud-sim: runs the local cloud simulator until it is interrupted.
//
//   cloud-sim [--port N] [--https] [--ca-out FILE] [--seed S] [--days D] [--cameras C]
//             [--now SECONDS] [--threads T] [--recordings N] [--events N]
//
// Prints the base URL, an access token and how to sign in, then serves until SIGINT/SIGTERM.
// Its "now" moves on with the real clock, as a real cloud's does: the cameras keep recording and
// the live view keeps getting new segments.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <string>

#include "cloud-sim/cloud_sim.h"
#include "cloud-sim/server_time.h"

namespace {

void usage() {
  std::cerr << "usage: cloud-sim [--port N] [--https] [--ca-out FILE] [--seed S] [--days D]\n"
               "                 [--cameras C] [--now SECONDS] [--threads T]\n"
               "                 [--recordings N] [--events N]   (exact history size per camera)\n";
}

bool number(const char* text, long long min, long long max, long long& out) {
  char* end = nullptr;
  const long long value = std::strtoll(text, &end, 10);
  if (!end || *end != '\0' || value < min || value > max) return false;
  out = value;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  dk::cloudsim::GenerateOptions generate;
  generate.now = static_cast<double>(std::time(nullptr));
  dk::cloudsim::CloudSimOptions options;
  std::string caOut;

  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    long long value = 0;
    if (arg == "--https") {
      options.https = true;
    } else if (arg == "--port" && hasValue && number(argv[++i], 0, 65535, value)) {
      options.port = static_cast<uint16_t>(value);
    } else if (arg == "--ca-out" && hasValue) {
      caOut = argv[++i];
    } else if (arg == "--seed" && hasValue && number(argv[++i], 0, INT64_MAX, value)) {
      generate.seed = static_cast<uint64_t>(value);
    } else if (arg == "--days" && hasValue && number(argv[++i], 1, 3650, value)) {
      generate.days = static_cast<int>(value);
    } else if (arg == "--cameras" && hasValue && number(argv[++i], 2, 500, value)) {
      generate.cameras = static_cast<int>(value);
    } else if (arg == "--now" && hasValue && number(argv[++i], 0, INT64_MAX, value)) {
      generate.now = static_cast<double>(value);
    } else if (arg == "--recordings" && hasValue && number(argv[++i], 1, 1000000, value)) {
      generate.recordingsPerCamera = static_cast<int>(value);
    } else if (arg == "--events" && hasValue && number(argv[++i], 1, 10000000, value)) {
      generate.eventsPerCamera = static_cast<int>(value);
    } else if (arg == "--threads" && hasValue && number(argv[++i], 1, 64, value)) {
      options.threads = static_cast<int>(value);
    } else {
      usage();
      return 2;
    }
  }
  if (!caOut.empty() && !options.https) {
    std::cerr << "cloud-sim: --ca-out needs --https\n";
    return 2;
  }

  // Signals are taken by sigwait below, never by the server threads.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  dk::cloudsim::World world = dk::cloudsim::World::generate(generate);
  const std::string email = world.user.email, password = world.user.password;
  dk::cloudsim::CloudSim sim(std::move(world), options);
  if (sim.start() == 0) {
    std::cerr << "cloud-sim: " << sim.lastError() << "\n";
    return 1;
  }
  if (!caOut.empty() && !sim.writeCaCertificate(caOut)) {
    std::cerr << "cloud-sim: cannot write the CA certificate to " << caOut << "\n";
    return 1;
  }

  std::cout << "base URL: " << sim.baseUrl() << "\n"
            << "access token: " << sim.accessToken() << "\n"
            << "refresh token: " << sim.refreshToken() << "\n"
            << "sign-in: " << email << " / " << password << " (OAuth client secret \""
            << options.clientSecret << "\")\n"
            << "history: " << generate.days << " days up to "
            << dk::cloudsim::formatServerTime(generate.now, generate.utcOffsetSeconds) << ", seed "
            << generate.seed << "\n";
  if (!caOut.empty()) std::cout << "CA certificate: " << caOut << "\n";
  std::cout << std::flush;

  const auto started = std::chrono::steady_clock::now();
  const timespec tick{0, 250'000'000};
  while (sigtimedwait(&signals, nullptr, &tick) < 0) {
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    sim.updateWorld([&](dk::cloudsim::World& w) { w.now = std::max(w.now, generate.now + elapsed); });
  }
  sim.stop();
  return 0;
}
