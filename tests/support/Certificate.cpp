#include "support/Certificate.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>

namespace hnastest {

namespace {

void check(bool ok, const char* what) {
    if (!ok)
        throw std::runtime_error(std::string("Certificate: ") + what + " failed");
}

void addExtension(X509* cert, int nid, const char* value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    check(ext != nullptr, value);
    const int ok = X509_add_ext(cert, ext, -1);
    X509_EXTENSION_free(ext);
    check(ok == 1, "X509_add_ext");
}

void writePem(const std::string& path, EVP_PKEY* key, X509* cert) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    check(f != nullptr, "fopen");
    const bool ok = key ? PEM_write_PrivateKey(f, key, nullptr, nullptr, 0, nullptr, nullptr) == 1
                        : PEM_write_X509(f, cert) == 1;
    std::fclose(f);
    check(ok, "PEM write");
}

} // namespace

Certificate::Certificate(const std::string& commonName, const std::string& altNames) {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "hnastest-cert-XXXXXX").string();
    check(::mkdtemp(&pattern[0]) != nullptr, "mkdtemp");
    dir_ = pattern;
    cert_ = dir_ + "/cert.pem";
    key_ = dir_ + "/key.pem";
    std::unique_ptr<EVP_PKEY, void (*)(EVP_PKEY*)> key(EVP_EC_gen("P-256"), EVP_PKEY_free);
    std::unique_ptr<X509, void (*)(X509*)> cert(X509_new(), X509_free);
    check(key && cert, "key or certificate");
    X509* x = cert.get();
    unsigned char serial[16];
    check(RAND_bytes(serial, sizeof serial) == 1, "RAND_bytes");
    serial[0] = static_cast<unsigned char>((serial[0] & 0x7F) | 0x01); // positive, non-zero
    BIGNUM* bn = BN_bin2bn(serial, sizeof serial, nullptr);
    const bool serialSet = bn && BN_to_ASN1_INTEGER(bn, X509_get_serialNumber(x));
    BN_free(bn);
    check(serialSet, "serial number");
    X509_NAME* name = X509_get_subject_name(x);
    check(X509_set_version(x, 2) && X509_gmtime_adj(X509_getm_notBefore(x), -3600) &&
              X509_gmtime_adj(X509_getm_notAfter(x), 86400) && X509_set_pubkey(x, key.get()) &&
              X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                         reinterpret_cast<const unsigned char*>(commonName.c_str()),
                                         -1, -1, 0) &&
              X509_set_issuer_name(x, name),
          "certificate fields");
    addExtension(x, NID_basic_constraints, "critical,CA:TRUE");
    addExtension(x, NID_key_usage, "critical,digitalSignature,keyCertSign");
    addExtension(x, NID_ext_key_usage, "serverAuth");
    addExtension(x, NID_subject_key_identifier, "hash");
    addExtension(x, NID_authority_key_identifier, "keyid:always");
    addExtension(x, NID_subject_alt_name, altNames.c_str());
    check(X509_sign(x, key.get(), EVP_sha256()) > 0, "X509_sign");
    writePem(key_, key.get(), nullptr);
    writePem(cert_, nullptr, x);
}

Certificate::~Certificate() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

} // namespace hnastest
