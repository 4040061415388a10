#include "Certificates.h"

#include <arpa/inet.h>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <sys/stat.h>

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/sha.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

namespace hnasgwsim {

namespace {

struct Deleters {
    void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
    void operator()(X509* p) const { X509_free(p); }
    void operator()(X509_EXTENSION* p) const { X509_EXTENSION_free(p); }
    void operator()(FILE* p) const { std::fclose(p); }
    void operator()(BIO* p) const { BIO_free_all(p); }
};
template <typename T> using Owned = std::unique_ptr<T, Deleters>;

[[noreturn]] void fail(const std::string& what) {
    char buf[256] = "";
    if (unsigned long code = ERR_get_error())
        ERR_error_string_n(code, buf, sizeof buf);
    ERR_clear_error();
    throw std::runtime_error(what + (buf[0] ? std::string(": ") + buf : std::string()));
}

bool isAddress(const std::string& host) {
    unsigned char buf[16];
    return inet_pton(AF_INET, host.c_str(), buf) == 1 ||
           inet_pton(AF_INET6, host.c_str(), buf) == 1;
}

void addExtension(X509* cert, int nid, const std::string& value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
    Owned<X509_EXTENSION> ext(X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.c_str()));
    if (!ext || X509_add_ext(cert, ext.get(), -1) != 1)
        fail("cannot add certificate extension " + value);
}

} // namespace

void generateCertificate(const std::string& certFile, const std::string& keyFile,
                         const std::string& extraHost) {
    Owned<EVP_PKEY> key(EVP_EC_gen("P-256"));
    if (!key)
        fail("cannot generate an EC key");
    Owned<X509> cert(X509_new());
    if (!cert)
        fail("cannot create a certificate");
    X509_set_version(cert.get(), 2);
    unsigned char serial[16];
    if (RAND_bytes(serial, sizeof serial) != 1)
        fail("cannot draw a serial number");
    serial[0] &= 0x7f;
    BIGNUM* bn = BN_bin2bn(serial, sizeof serial, nullptr);
    BN_to_ASN1_INTEGER(bn, X509_get_serialNumber(cert.get()));
    BN_free(bn);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), 60L * 60 * 24 * 365);
    X509_set_pubkey(cert.get(), key.get());
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("hnas-gateway-sim"), -1, -1,
                               0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("localhost"), -1, -1, 0);
    X509_set_issuer_name(cert.get(), name);

    std::string san = "IP:127.0.0.1,IP:::1,DNS:localhost";
    if (!extraHost.empty() && extraHost != "127.0.0.1" && extraHost != "localhost" &&
        extraHost != "::1" && extraHost != "0.0.0.0" && extraHost != "::")
        san += (isAddress(extraHost) ? ",IP:" : ",DNS:") + extraHost;
    addExtension(cert.get(), NID_subject_alt_name, san);
    addExtension(cert.get(), NID_basic_constraints, "critical,CA:TRUE");
    addExtension(cert.get(), NID_key_usage, "critical,digitalSignature,keyCertSign");
    addExtension(cert.get(), NID_ext_key_usage, "serverAuth");
    addExtension(cert.get(), NID_subject_key_identifier, "hash");
    if (X509_sign(cert.get(), key.get(), EVP_sha256()) == 0)
        fail("cannot sign the certificate");

    const mode_t old = ::umask(077);
    Owned<FILE> keyOut(std::fopen(keyFile.c_str(), "wb"));
    ::umask(old);
    if (!keyOut)
        throw std::runtime_error("cannot write " + keyFile);
    ::fchmod(fileno(keyOut.get()), 0600);
    if (PEM_write_PrivateKey(keyOut.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1)
        fail("cannot write " + keyFile);
    keyOut.reset();
    Owned<FILE> certOut(std::fopen(certFile.c_str(), "wb"));
    if (!certOut)
        throw std::runtime_error("cannot write " + certFile);
    if (PEM_write_X509(certOut.get(), cert.get()) != 1)
        fail("cannot write " + certFile);
}

std::string publicKeyPin(const std::string& certFile) {
    Owned<FILE> in(std::fopen(certFile.c_str(), "rb"));
    if (!in)
        throw std::runtime_error("cannot read " + certFile);
    Owned<X509> cert(PEM_read_X509(in.get(), nullptr, nullptr, nullptr));
    if (!cert)
        fail("no PEM certificate in " + certFile);
    unsigned char* der = nullptr;
    int length = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(cert.get()), &der);
    if (length <= 0)
        fail("cannot encode the public key of " + certFile);
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(der, static_cast<size_t>(length), digest);
    OPENSSL_free(der);
    unsigned char b64[64];
    int n = EVP_EncodeBlock(b64, digest, sizeof digest);
    return "sha256//" + std::string(reinterpret_cast<char*>(b64), static_cast<size_t>(n));
}

} // namespace hnasgwsim
