#include "web/web-certificate.h"

#include <QFile>

#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>

#include "platform/files.h"
#include "platform/paths.h"
#include "platform/random.h"

namespace {

constexpr long kValiditySeconds = 10L * 365 * 24 * 3600;

struct Freer {
    void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
    void operator()(X509* p) const { X509_free(p); }
    void operator()(BIO* p) const { BIO_free(p); }
    void operator()(X509_EXTENSION* p) const { X509_EXTENSION_free(p); }
};
template <typename T>
using Owned = std::unique_ptr<T, Freer>;

std::string BioText(BIO* bio) {
    char* data = nullptr;
    long len = BIO_get_mem_data(bio, &data);
    return len > 0 && data ? std::string(data, static_cast<size_t>(len)) : std::string();
}

bool AddExtension(X509* cert, int nid, const char* value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
    Owned<X509_EXTENSION> ext(X509V3_EXT_conf_nid(nullptr, &ctx, nid, value));
    return ext && X509_add_ext(cert, ext.get(), -1) == 1;
}

bool FillCertificate(X509* cert, EVP_PKEY* key) {
    unsigned char serial[16];
    if (!platform::RandomBytes(serial, sizeof serial))
        return false;
    serial[0] &= 0x7f;
    BIGNUM* bn = BN_bin2bn(serial, sizeof serial, nullptr);
    bool ok = bn && BN_to_ASN1_INTEGER(bn, X509_get_serialNumber(cert)) != nullptr;
    BN_free(bn);
    X509_NAME* name = X509_get_subject_name(cert);
    ok = ok && X509_set_version(cert, 2) == 1 &&
         X509_gmtime_adj(X509_getm_notBefore(cert), -3600) != nullptr &&
         X509_gmtime_adj(X509_getm_notAfter(cert), kValiditySeconds) != nullptr &&
         X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                    reinterpret_cast<const unsigned char*>("ZuCam"), -1, -1,
                                    0) == 1 &&
         X509_set_issuer_name(cert, name) == 1 && X509_set_pubkey(cert, key) == 1;
    ok = ok && AddExtension(cert, NID_subject_alt_name, "DNS:localhost,IP:127.0.0.1") &&
         AddExtension(cert, NID_basic_constraints, "critical,CA:FALSE") &&
         AddExtension(cert, NID_ext_key_usage, "serverAuth");
    return ok && X509_sign(cert, key, EVP_sha256()) > 0;
}

// Written with owner-only permissions from the start: the key never sits
// readable by others, not even for a moment.
bool WritePrivate(const std::string& path, const std::string& text) {
    QFile file(QString::fromStdString(path));
    file.remove();
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;
    if (!file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return false;
    return file.write(text.data(), static_cast<qint64>(text.size())) ==
               static_cast<qint64>(text.size()) &&
           file.flush();
}

}  // namespace

bool WebCertificate::Generate(std::string* certPem, std::string* keyPem, std::string* error) {
    // P-256: made in milliseconds, and every browser takes it.
    Owned<EVP_PKEY> key(EVP_EC_gen("P-256"));
    Owned<X509> cert(X509_new());
    if (!key || !cert || !FillCertificate(cert.get(), key.get())) {
        *error = "OpenSSL could not make the certificate";
        return false;
    }
    Owned<BIO> certBio(BIO_new(BIO_s_mem()));
    Owned<BIO> keyBio(BIO_new(BIO_s_mem()));
    if (!certBio || !keyBio || PEM_write_bio_X509(certBio.get(), cert.get()) != 1 ||
        PEM_write_bio_PrivateKey(keyBio.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) !=
            1) {
        *error = "OpenSSL could not write the certificate";
        return false;
    }
    *certPem = BioText(certBio.get());
    *keyPem = BioText(keyBio.get());
    return true;
}

bool WebCertificate::Matches(const std::string& certPem, const std::string& keyPem) {
    Owned<BIO> certBio(BIO_new_mem_buf(certPem.data(), static_cast<int>(certPem.size())));
    Owned<BIO> keyBio(BIO_new_mem_buf(keyPem.data(), static_cast<int>(keyPem.size())));
    if (!certBio || !keyBio)
        return false;
    Owned<X509> cert(PEM_read_bio_X509(certBio.get(), nullptr, nullptr, nullptr));
    Owned<EVP_PKEY> key(PEM_read_bio_PrivateKey(keyBio.get(), nullptr, nullptr, nullptr));
    return cert && key && X509_check_private_key(cert.get(), key.get()) == 1;
}

bool WebCertificate::LoadOrCreate(const std::string& dir, std::string* error) {
    const std::string certPath = dir + "/" + kCertFile;
    const std::string keyPath = dir + "/" + kKeyFile;
    std::string cert;
    std::string key;
    if (platform::ReadWholeFile(certPath, &cert) && platform::ReadWholeFile(keyPath, &key) &&
        Matches(cert, key)) {
        cert_ = cert;
        key_ = key;
        return true;
    }
    if (!Generate(&cert, &key, error))
        return false;
    if (!platform::MakeDirs(dir, 0700) || !WritePrivate(keyPath, key) ||
        !platform::WriteFileAtomic(certPath, cert, error)) {
        *error = "the certificate cannot be kept in " + dir;
        return false;
    }
    cert_ = cert;
    key_ = key;
    return true;
}
