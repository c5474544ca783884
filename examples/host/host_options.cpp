#include "host_options.h"

#include <cstdlib>
#include <filesystem>

#include "platform/net/url.h"

const char kHostUsage[] =
    "usage: dk-host [--cloud URL] [--token T] [--ca FILE] [--camera N] [--days N] [--start T] [--pictures D]\n"
    "               [--sound FILE|device] [--help]\n"
    "  --cloud URL   use that cloud (http or https) instead of the embedded simulator\n"
    "  --token T     the bearer credential to store (needed with --cloud)\n"
    "  --ca FILE     trust this CA for https (default: the system store)\n"
    "  --camera N    the camera to load (default: the first online one)\n"
    "  --days N      history size of the embedded cloud (default 3)\n"
    "  --start T     the session's \"now\", in seconds since 1970, or \"now\" for the real time\n"
    "                (default with --cloud: the real time; with the embedded cloud 1781530200,\n"
    "                15 June 2026 13:30 UTC, so that every run is the same). With --cloud the\n"
    "                session runs on the real clock unless a number is given here; otherwise in\n"
    "                virtual time\n"
    "  --pictures D  where the pictures of the session go (default dk-host-pictures); the app's\n"
    "                own folders (documents, photo album, settings) go to D/app\n"
    "  --sound F     where the camera's sound goes: a WAV file (default D/sound.wav, which the\n"
    "                session then describes), or \"device\" for the sound device (ALSA)\n";

namespace {

bool parseInt(const std::string& text, int64_t* out) {
  char* end = nullptr;
  long long value = std::strtoll(text.c_str(), &end, 10);
  if (text.empty() || *end) return false;
  *out = value;
  return true;
}

}  // namespace

ParsedHostOptions parseHostOptions(const std::vector<std::string>& args, double realNow) {
  ParsedHostOptions parsed;
  HostOptions& options = parsed.options;
  std::optional<double> start;
  bool startsNow = false;
  auto fail = [&](std::string message) {
    parsed.error = std::move(message);
    return parsed;
  };
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      parsed.help = true;
      return parsed;
    }
    const bool known = arg == "--cloud" || arg == "--token" || arg == "--ca" || arg == "--camera" ||
                       arg == "--days" || arg == "--start" || arg == "--pictures" || arg == "--sound";
    if (!known) return fail("unknown option " + arg + " (see --help)");
    if (i + 1 >= args.size()) return fail(arg + " needs a value (see --help)");
    const std::string& value = args[++i];
    int64_t number = 0;
    if (arg == "--cloud") {
      const auto url = dk::platform::parseURL(value);
      if (!url || (url->scheme != "http" && url->scheme != "https") || url->host.empty()) {
        return fail("--cloud takes an http or https URL, not \"" + value + "\"");
      }
      options.cloud = value;
    } else if (arg == "--token") {
      options.token = value;
    } else if (arg == "--ca") {
      options.caFile = value;
      if (!std::filesystem::is_regular_file(options.caFile)) return fail("no CA file at " + options.caFile);
    } else if (arg == "--camera") {
      if (!parseInt(value, &number)) return fail("--camera takes a camera number");
      options.camera = number;
    } else if (arg == "--days") {
      if (!parseInt(value, &number) || number < 1 || number > 365) return fail("--days takes a number from 1 to 365");
      options.days = static_cast<int>(number);
    } else if (arg == "--start") {
      startsNow = value == "now";
      if (startsNow) {
        start = realNow;
      } else if (!parseInt(value, &number) || number < 0) {
        return fail("--start takes seconds since 1970 or \"now\"");
      } else {
        start = static_cast<double>(number);
      }
    } else if (arg == "--sound") {
      options.sound = value;
    } else {
      options.pictures = value;
    }
  }
  if (!options.cloud.empty() && options.token.empty()) return fail("--cloud needs --token");
  // Another cloud's history is today's: a fixed day would show none of it. Its session runs on the
  // real clock unless another moment was asked for.
  options.start = start ? *start : options.cloud.empty() ? HostOptions::kFixedStart : realNow;
  options.realClock = !options.cloud.empty() && (!start || startsNow);
  return parsed;
}
