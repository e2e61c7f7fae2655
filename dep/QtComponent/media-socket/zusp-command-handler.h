#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#include <json/value.h>

#include "dep/QtComponent/media-socket/cmd-frame-buffer.h"
#include "dep/QtComponent/media-socket/repeat-limit.h"

namespace media_socket {

// What the command protocol needs from the server that carries it. Every
// call comes on the loop thread.
class ZuSPCommandHost {
public:
    virtual ~ZuSPCommandHost() = default;
    // Sends one JSON body as a frame on the command connection.
    virtual void SendCmd(const std::string& body) = 0;
    // Tears the whole link down at the end of the loop iteration.
    virtual void RequestClose() = 0;
    // Opens a TCP stream port for a push-play; the port, 0 on failure.
    virtual unsigned OpenTcpStream() = 0;
    // Starts the Zup2p transport for a push-play; its UDP port, 0 on failure.
    virtual unsigned StartUdpStream() = 0;
    virtual void NotifyStreamPort(unsigned port) = 0;
    // Replaces the stream token with a fresh one and returns it.
    virtual std::string RenewToken() = 0;
    virtual void NotifyConnected(const std::string& peer_name) = 0;
    // A command the protocol does not know; false when nobody handled it.
    virtual bool HandleCustomCommand(int type, const Json::Value& data, Json::Value* reply) = 0;
    virtual std::string DeviceName() = 0;
};

// The command connection's protocol: frame reassembly, JSON requests and the
// replies of the built-in commands. Needs no socket, so it can be driven
// byte by byte from tests and the fuzzer.
//
// Request: {"type": int, "data": {...}}. Every reply carries "type" and
// "version" "1.0":
//   0 / 1  push-play    {"data":{"bite_rate":4,"key":token,"port":p[,"udpPort":u]},"type":0,...}
//   2      shutdown     {"data":null,"type":0,...}, then close
//   1001   device-name  {"name":name,"type":1001,...}
//   -1     ping         {"data":null,"type":-1,...}
//   >= 3   custom       handled: {["data":reply,]"type":0,...}; else {"type":1,...} and close
//   <= -2               close without reply
class ZuSPCommandHandler {
public:
    explicit ZuSPCommandHandler(ZuSPCommandHost* host) : host_(host) {}
    ~ZuSPCommandHandler() { TellHeldBack(); }
    ZuSPCommandHandler(const ZuSPCommandHandler&) = delete;
    ZuSPCommandHandler& operator=(const ZuSPCommandHandler&) = delete;

    // One delivery of the command connection; len <= 0: the phone is gone.
    void OnMessage(const char* data, int len);
    // One complete request body. False when it closes the link.
    bool HandleBody(const char* body, size_t len);
    // Forgets buffered bytes (after a close).
    void Reset() {
        frames_.Clear();
        TellHeldBack();
    }

    // The "name" of the last request's "data" (empty if absent).
    const std::string& PeerName() const { return peer_name_; }
    int BufferedBytes() const { return frames_.Fill(); }
    // Complete request bodies taken so far: a sign of life of the phone.
    uint64_t BodiesTaken() const { return bodies_taken_; }

private:
    bool Dispatch(int type, const Json::Value& data, bool udp_wanted, const std::string& text);
    bool PushPlay(bool udp_wanted);
    bool Custom(int type, const Json::Value& data);
    void Reply(Json::Value reply);
    bool Close();
    // Prints "[<tag>]:<text>", or holds it back when the peer repeats it
    // too often (see RepeatLimit).
    void PrintRequest(const char* tag, const std::string& text);
    // One "… N more" line for every kind of request held back.
    void TellHeldBack();

    ZuSPCommandHost* host_;
    CmdFrameBuffer frames_;
    std::string peer_name_;
    uint64_t bodies_taken_ = 0;
    std::map<std::string, RepeatLimit> printed_;
};

}  // namespace media_socket
