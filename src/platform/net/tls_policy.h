// TlsPolicy: how the HTTP layer checks a server's certificate.
//
// Verification is on by default: the chain is checked against the system's CA store, or against
// the CA file the host configures process-wide (the tests trust the local cloud simulator's CA this
// way), and the certificate must name the host. `allowInvalidCertificates` is the one switch that
// turns both checks off; it exists for a camera's own access point, whose certificate cannot be
// checked, and must never be the default for the cloud, which receives the bearer token.
// Plain value type; the process-wide defaults are thread-safe.
#pragma once

#include <optional>
#include <string>

namespace dk::platform {

struct TlsPolicy {
  bool allowInvalidCertificates = false;
  // A PEM file of trusted CAs used instead of the system store; empty: the process default.
  std::string caFile;

  static TlsPolicy verifying() { return TlsPolicy{}; }
  static TlsPolicy permissive() { return TlsPolicy{true, {}}; }

  // The CA file every verifying policy without its own uses (empty: the system store).
  static void setDefaultCAFile(std::string path);
  static std::string defaultCAFile();
  // The CA file this policy verifies with: its own, else the process default, else empty.
  std::string effectiveCAFile() const;
};

}  // namespace dk::platform
