#pragma once

// A self-signed EC P-256 certificate (its own trust anchor, for server use),
// made by the openssl program, for a common name and subject alternative
// names in OpenSSL's form ("IP:127.0.0.1,DNS:localhost"), written as cert.pem
// and key.pem to a temporary directory removed with the object.

#include <string>

namespace hnastest {

class Certificate {
public:
    explicit Certificate(const std::string& commonName = "localhost",
                         const std::string& altNames = "IP:127.0.0.1,DNS:localhost");
    ~Certificate();
    Certificate(const Certificate&) = delete;
    Certificate& operator=(const Certificate&) = delete;

    const std::string& certFile() const { return cert_; }
    const std::string& keyFile() const { return key_; }

private:
    std::string dir_, cert_, key_;
};

} // namespace hnastest
