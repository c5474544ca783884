// A throw-away certificate authority and the server certificate it signs for "localhost" and
// 127.0.0.1, made in memory when an HTTPS simulator starts. Clients trust the CA's PEM.
//
// Pure function of the moment it runs; thread-safe.
#pragma once

#include <optional>
#include <string>

namespace dk::cloudsim::detail {

struct TlsIdentity {
  std::string caCertificatePem;
  std::string serverCertificatePem;
  std::string serverPrivateKeyPem;
};

// Returns nothing, with *error set, when OpenSSL refuses a step.
std::optional<TlsIdentity> makeTlsIdentity(std::string* error);

}  // namespace dk::cloudsim::detail
