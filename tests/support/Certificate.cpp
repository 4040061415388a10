#include "support/Certificate.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "support/ChildProcess.h"

namespace hnastest {

Certificate::Certificate(const std::string& commonName, const std::string& altNames) {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "hnastest-cert-XXXXXX").string();
    if (::mkdtemp(&pattern[0]) == nullptr)
        throw std::runtime_error("Certificate: mkdtemp failed");
    dir_ = pattern;
    cert_ = dir_ + "/cert.pem";
    key_ = dir_ + "/key.pem";
    const ChildResult made = runChild({"/usr/bin/openssl",
                                       "req",
                                       "-x509",
                                       "-newkey",
                                       "ec",
                                       "-pkeyopt",
                                       "ec_paramgen_curve:P-256",
                                       "-nodes",
                                       "-days",
                                       "1",
                                       "-subj",
                                       "/CN=" + commonName,
                                       "-addext",
                                       "subjectAltName=" + altNames,
                                       "-addext",
                                       "basicConstraints=critical,CA:TRUE",
                                       "-addext",
                                       "keyUsage=critical,digitalSignature,keyCertSign",
                                       "-addext",
                                       "extendedKeyUsage=serverAuth",
                                       "-keyout",
                                       key_,
                                       "-out",
                                       cert_},
                                      {});
    if (made.exitCode != 0)
        throw std::runtime_error("Certificate: openssl req failed: " + made.err);
}

Certificate::~Certificate() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

} // namespace hnastest
