#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// IPv4 sockets for the reactor and the stream-protocol server. Handles are
// plain ints (-1: none); every call returns the OS result (or false/-1) and
// never throws. Addresses and ports are passed in host byte order.
namespace platform {

constexpr int kInvalidSocket = -1;

// Codes of this layer; the implementation maps them to the OS's own values.
enum SocketFamily : int { kFamilyInet = 2 };
enum SocketType : int { kSockStream = 1, kSockDgram = 2 };
enum SocketProtocol : int { kProtoDefault = 0, kProtoTcp = 6, kProtoUdp = 17 };
enum SocketShutdown : int { kShutRead = 0, kShutWrite = 1, kShutBoth = 2 };
// Flags for SocketRecv.
enum SocketRecvFlags : int { kRecvPeek = 1, kRecvDontWait = 2 };
// The largest listen backlog; the kernel clamps it to its own limit.
constexpr int kMaxListenBacklog = 0x7fffffff;

// A new socket, close-on-exec; -1 on failure.
int SocketOpen(int family, int type, int protocol);
int SocketClose(int fd);
int SocketShutdown(int fd, int how);
// One pending connection, close-on-exec; -1 when none is pending or on error.
int SocketAccept(int fd);
bool SocketBindV4(int fd, uint32_t ip, uint16_t port);
bool SocketListen(int fd, int backlog);
// A blocking connect (tests and tools; the program only accepts).
bool SocketConnectV4(int fd, uint32_t ip, uint16_t port);
int SocketRecv(int fd, char* buffer, int len, int flags);
// Sends never raise SIGPIPE: a phone that vanishes must not kill the program.
int SocketSend(int fd, const char* data, int len);
int SocketSendToV4(int fd, const char* data, int len, uint32_t ip, uint16_t port);
// One datagram; the sender's address when `ip`/`port` are given.
int SocketRecvFromV4(int fd, char* buffer, int len, uint32_t* ip, uint16_t* port);

int SocketSetReuseAddr(int fd, bool on);
bool SocketSetNonBlocking(int fd, bool on);
// Keep-alive probes after `idleMs` of silence, repeated every `intervalMs`.
// The kernel counts both in whole seconds (at least 1 s each); a peer that
// answers no probe is dropped after idle + one interval, so a phone that
// vanishes shows up as a socket error about 2 s later.
int SocketSetKeepAlive(int fd, bool on, int idleMs, int intervalMs);
int SocketSetRecvBufferSize(int fd, int bytes);
// Sends small writes at once instead of waiting for outstanding ACKs.
int SocketSetNoDelay(int fd, bool on);
// Time-outs for blocking calls (tests and tools); 0 waits without limit.
bool SocketSetRecvTimeout(int fd, int ms);
// The locally bound port, 0 when unknown.
uint16_t SocketLocalPort(int fd);
// The error code of the last failed socket call on this thread.
int LastSocketError();
// True for the "try again later" errors of non-blocking sockets.
bool IsWouldBlock(int error);

// Dotted IPv4 text to an address; false for anything else (IPv6, names, junk).
bool ParseIpv4(const char* text, uint32_t* ip);
// The dotted text of an address.
std::string FormatIpv4(uint32_t ip);

// Readiness as the poller sees it.
enum PollBits : int {
    kPollReadable = 1,  // normal or priority-band data (or a pending connection)
    kPollWritable = 2,  // normal data can be written
    kPollFailed = 4,    // error, hang-up or invalid handle
};
struct PollEntry {
    int fd;
    int events;   // kPollReadable / kPollWritable wanted
    int revents;  // what came back
};
// Waits up to timeoutMs for readiness of `count` entries (count 0 only
// sleeps). Returns how many entries have revents, 0 on time-out, -1 on error
// (see LastSocketError). A signal arriving meanwhile counts as a time-out.
int PollSockets(PollEntry* entries, size_t count, int timeoutMs);

}  // namespace platform
