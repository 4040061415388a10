#pragma once

#include <string>

namespace hnasgwsim {

// Writes a fresh self-signed certificate (EC P-256, valid for the addresses
// 127.0.0.1 and ::1, the name localhost and `extraHost` if it is another
// address or name) and its private key (mode 0600) as PEM files. Throws
// std::runtime_error.
void generateCertificate(const std::string& certFile, const std::string& keyFile,
                         const std::string& extraHost);

// The public-key pin of a PEM certificate: "sha256//" + base64 of the SHA-256
// of its SubjectPublicKeyInfo. Throws std::runtime_error.
std::string publicKeyPin(const std::string& certFile);

} // namespace hnasgwsim
