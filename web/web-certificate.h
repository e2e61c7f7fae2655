#pragma once

#include <string>

// The HTTPS identity of the phone page: a self-signed certificate and its
// key, made once and kept in the config folder so a phone that accepted the
// certificate keeps trusting it across restarts.
class WebCertificate {
public:
    static constexpr const char* kCertFile = "web-cert.pem";
    static constexpr const char* kKeyFile = "web-key.pem";

    // Reads the pair from `dir`, or makes a new one there (key mode 0600)
    // when either file is missing or unusable. False with a reason in *error.
    bool LoadOrCreate(const std::string& dir, std::string* error);
    // Makes a fresh pair in memory (PEM text).
    static bool Generate(std::string* certPem, std::string* keyPem, std::string* error);
    // Whether the two PEM texts parse and belong together.
    static bool Matches(const std::string& certPem, const std::string& keyPem);

    const std::string& CertPem() const { return cert_; }
    const std::string& KeyPem() const { return key_; }

private:
    std::string cert_;
    std::string key_;
};
