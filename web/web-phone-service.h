#pragma once

#include <QObject>

#include <memory>
#include <string>
#include <vector>

class WebPhoneServer;

// What a face (window or zucamd) needs for the phone page: the certificate
// kept in the config folder, the link secret kept in the settings, and the
// server that bridges browsers to the command port. Created by the face,
// started once its stream-protocol server listens.
class WebPhoneService : public QObject {
    Q_OBJECT

public:
    explicit WebPhoneService(QObject* parent = nullptr);
    ~WebPhoneService() override;

    // Serves the page on `webPort` for the stream-protocol server on
    // `commandPort`. False with a reason in *error; a missing certificate
    // alone leaves the plain loopback page serving (and is told in *error).
    bool Start(int webPort, int commandPort, std::string* error);
    void Stop();
    bool Running() const { return server_ != nullptr; }
    int Port() const { return port_; }

    // The stored secret, made and stored first when there is none.
    static std::string LoadSecret();
    // A new secret, stored; the old link stops working at once.
    static std::string RenewSecret();
    // Renews the secret and gives it to the running server.
    void NewLink();
    const std::string& Secret() const { return secret_; }
    // The links to show: one per local address, then the loopback one.
    std::vector<std::string> Links(const std::vector<std::string>& addresses) const;
    // The window's setting: the page's port, 0 for none.
    static int ConfiguredPort();
    // The folder the certificate is kept in.
    static std::string ConfigDir();

private:
    std::unique_ptr<WebPhoneServer> server_;
    std::string secret_;
    int port_ = 0;
};
