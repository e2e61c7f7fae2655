#include "web/web-phone-service.h"

#include <cstdlib>

#include "app-settings.h"
#include "hublet/log-sink.h"
#include "platform/paths.h"
#include "web/web-certificate.h"
#include "web/web-link.h"
#include "web/web-phone-server.h"

WebPhoneService::WebPhoneService(QObject* parent) : QObject(parent) {}

WebPhoneService::~WebPhoneService() = default;

std::string WebPhoneService::ConfigDir() {
    return platform::ConfigHomeDir() + "/ZuCam";
}

std::string WebPhoneService::LoadSecret() {
    std::string secret = AppSettings::GetString(WebLink::kSecretKey, "", false);
    if (WebLink::IsWellFormed(secret))
        return secret;
    return RenewSecret();
}

std::string WebPhoneService::RenewSecret() {
    const std::string secret = WebLink::NewSecret();
    if (!AppSettings::SetString(WebLink::kSecretKey, secret))
        BG_LOGW("the phone page's new link could not be saved; it holds until exit");
    return secret;
}

int WebPhoneService::ConfiguredPort() {
    const std::string text =
        AppSettings::GetString(WebLink::kPortKey, std::to_string(WebLink::kDefaultPort), false);
    char* end = nullptr;
    const long port = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || !end || *end != '\0' || port < 0 || port > 65535) {
        BG_LOGW("%s is not a port (%s); the phone page uses %d", WebLink::kPortKey, text.c_str(),
                WebLink::kDefaultPort);
        return WebLink::kDefaultPort;
    }
    return static_cast<int>(port);
}

bool WebPhoneService::Start(int webPort, int commandPort, std::string* error) {
    Stop();
    secret_ = LoadSecret();
    auto server = std::make_unique<WebPhoneServer>();
    server->SetSecret(QString::fromStdString(secret_));
    WebCertificate certificate;
    std::string certError;
    const bool haveCert = certificate.LoadOrCreate(ConfigDir(), &certError) &&
                          server->SetCertificate(certificate.CertPem(), certificate.KeyPem());
    if (!server->Start(static_cast<quint16>(webPort), static_cast<quint16>(commandPort))) {
        *error = "port " + std::to_string(webPort) + " is taken";
        return false;
    }
    port_ = server->Port();
    server_ = std::move(server);
    if (!haveCert) {
        BG_LOGE("phone page without HTTPS: %s", certError.c_str());
        *error = "no HTTPS (" + (certError.empty() ? std::string("bad certificate") : certError) +
                 "): only this computer's plain link works";
    }
    BG_LOGI("phone page served on port %d", port_);
    return true;
}

void WebPhoneService::Stop() {
    server_.reset();
    port_ = 0;
}

void WebPhoneService::NewLink() {
    secret_ = RenewSecret();
    if (server_)
        server_->SetSecret(QString::fromStdString(secret_));
}

std::vector<std::string> WebPhoneService::Links(const std::vector<std::string>& addresses) const {
    return WebLink::Urls(addresses, port_, secret_);
}
