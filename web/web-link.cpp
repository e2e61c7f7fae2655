#include "web/web-link.h"

#include "platform/random.h"

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

}  // namespace

std::string WebLink::NewSecret() {
    unsigned char bytes[kSecretLength];
    if (!platform::RandomBytes(bytes, sizeof bytes))
        return {};
    std::string secret;
    for (unsigned char b : bytes)
        secret.push_back(kAlphabet[b & 63]);
    return secret;
}

bool WebLink::IsWellFormed(const std::string& secret) {
    if (secret.size() != kSecretLength)
        return false;
    for (char c : secret) {
        bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                  c == '-' || c == '_';
        if (!ok)
            return false;
    }
    return true;
}

bool WebLink::SecretsEqual(const std::string& a, const std::string& b) {
    unsigned diff = a.size() == b.size() ? 0u : 1u;
    for (size_t i = 0; i < a.size(); ++i)
        diff |=
            static_cast<unsigned char>(a[i]) ^ static_cast<unsigned char>(b[i % (b.size() + 1)]);
    return diff == 0 && !a.empty();
}

std::string WebLink::Url(const std::string& address, int port, const std::string& secret,
                         bool https) {
    return std::string(https ? "https://" : "http://") + address + ":" + std::to_string(port) +
           "/?k=" + secret;
}

std::vector<std::string> WebLink::Urls(const std::vector<std::string>& addresses, int port,
                                       const std::string& secret) {
    std::vector<std::string> urls;
    for (const std::string& a : addresses)
        urls.push_back(Url(a, port, secret));
    urls.push_back(Url("localhost", port, secret, false));
    return urls;
}
