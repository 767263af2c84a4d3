#include "platform/net/ipv4_sockets.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/clock/monotonic_clock.h"

namespace vxl::platform {

static_assert(MSG_OOB == 1 && MSG_PEEK == 2 && MSG_DONTROUTE == 4,
              "send and recv flags keep their usual values");

namespace {

sockaddr_in IPv4Address(uint32_t ip, int32_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(ip);
  a.sin_port = htons(static_cast<uint16_t>(port));
  return a;
}

// Ports are 16 bits: a number outside them names no port, rather than wrapping onto another.
bool ValidPort(int32_t port) {
  return port >= 0 && port <= 65535;
}

template <class NameCall>
bool ReadName(NameCall call, uint32_t& ip, int32_t& port) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  if (call(reinterpret_cast<sockaddr*>(&a), &len) != 0 || a.sin_family != AF_INET) return false;
  ip = ntohl(a.sin_addr.s_addr);
  port = ntohs(a.sin_port);
  return true;
}

}  // namespace

void StartSocketLibrary() {}
void StopSocketLibrary() {}

int32_t OpenStreamSocket() {
  return socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
}

int32_t OpenDatagramSocket() {
  return socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
}

void CloseSocket(int32_t handle) {
  close(handle);
}

int32_t SendBytes(int32_t handle, const uint8_t* buf, int32_t count, int32_t flags) {
  if (count < 0) return -1;
  ssize_t n;
  do {
    n = send(handle, buf, static_cast<size_t>(count), flags | MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  return static_cast<int32_t>(n);
}

int32_t RecvBytes(int32_t handle, uint8_t* buf, int32_t count, int32_t flags) {
  if (count < 0) return -1;
  ssize_t n;
  do {
    n = recv(handle, buf, static_cast<size_t>(count), flags);
  } while (n < 0 && errno == EINTR);
  return static_cast<int32_t>(n);
}

bool BindAnyAddress(int32_t handle, int32_t port) {
  if (!ValidPort(port)) return false;
  sockaddr_in a = IPv4Address(INADDR_ANY, port);
  return bind(handle, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
}

bool ConnectTo(int32_t handle, uint32_t ip, int32_t port, int32_t timeoutMs) {
  if (!ValidPort(port)) return false;
  sockaddr_in a = IPv4Address(ip, port);
  int flags = fcntl(handle, F_GETFL);
  if (flags < 0) return false;
  const bool deadline = timeoutMs > 0;
  if (deadline && fcntl(handle, F_SETFL, flags | O_NONBLOCK) != 0) return false;
  bool connected = connect(handle, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  if (!connected && (errno == EINPROGRESS || errno == EINTR)) {
    // The connection goes on in the background (a non-blocking connect, or an interrupted one):
    // wait for its outcome, up to the deadline.
    const uint32_t start = platform::MonotonicMilliseconds();
    pollfd p{handle, POLLOUT, 0};
    int r;
    for (;;) {
      int wait = -1;
      if (deadline) {
        uint32_t spent = platform::MonotonicMilliseconds() - start;
        wait = spent >= uint32_t(timeoutMs) ? 0 : int(uint32_t(timeoutMs) - spent);
      }
      r = poll(&p, 1, wait);
      if (r >= 0 || errno != EINTR) break;
    }
    int error = 0;
    socklen_t len = sizeof error;
    connected = r > 0 && getsockopt(handle, SOL_SOCKET, SO_ERROR, &error, &len) == 0 && error == 0;
  }
  if (deadline) fcntl(handle, F_SETFL, flags);
  return connected;
}

bool StartListening(int32_t handle, int32_t backlog) {
  return listen(handle, backlog) == 0;
}

int32_t WaitReadable(int32_t handle, int32_t timeoutMs) {
  pollfd p{handle, POLLIN, 0};
  int r;
  do {
    r = poll(&p, 1, timeoutMs < 0 ? -1 : timeoutMs);
  } while (r < 0 && errno == EINTR);
  if (r < 0) return -1;
  return r > 0 ? 1 : 0;
}

bool HasClosablePeer(int32_t handle) {
  int type = 0, listening = 0;
  socklen_t size = sizeof type;
  if (getsockopt(handle, SOL_SOCKET, SO_TYPE, &type, &size) != 0 || type != SOCK_STREAM)
    return false;
  size = sizeof listening;
  if (getsockopt(handle, SOL_SOCKET, SO_ACCEPTCONN, &listening, &size) != 0 || listening)
    return false;
  // A socket that never connected reports a hang-up too; only it answers "not connected" (one
  // whose peer closed or reset it reads an end or that error).
  char byte;
  return recv(handle, &byte, 1, MSG_PEEK | MSG_DONTWAIT) >= 0 || errno != ENOTCONN;
}

int32_t AcceptClient(int32_t handle) {
  int r;
  do {
    r = accept4(handle, nullptr, nullptr, SOCK_CLOEXEC);
  } while (r < 0 && errno == EINTR);
  return r;
}

int32_t BytesAvailable(int32_t handle) {
  int n = 0;
  if (ioctl(handle, FIONREAD, &n) != 0) return 0;
  return n;
}

void SetNoDelay(int32_t handle, int32_t enable) {
  int on = enable;
  setsockopt(handle, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

bool LocalAddress(int32_t handle, uint32_t& ip, int32_t& port) {
  return ReadName([&](sockaddr* a, socklen_t* len) { return getsockname(handle, a, len); }, ip,
                  port);
}

bool PeerAddress(int32_t handle, uint32_t& ip, int32_t& port) {
  return ReadName([&](sockaddr* a, socklen_t* len) { return getpeername(handle, a, len); }, ip,
                  port);
}

std::vector<uint32_t> ResolveIPv4(const std::string& name) {
  std::vector<uint32_t> ips;
  if (name.find('\0') != std::string::npos) return ips;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  if (getaddrinfo(name.c_str(), nullptr, &hints, &list) != 0) return ips;
  for (addrinfo* a = list; a; a = a->ai_next) {
    if (a->ai_family != AF_INET || a->ai_addrlen < sizeof(sockaddr_in)) continue;
    uint32_t ip = ntohl(reinterpret_cast<sockaddr_in*>(a->ai_addr)->sin_addr.s_addr);
    if (std::find(ips.begin(), ips.end(), ip) == ips.end()) ips.push_back(ip);
  }
  freeaddrinfo(list);
  return ips;
}

std::string HostNameOf(uint32_t ip) {
  sockaddr_in a = IPv4Address(ip, 0);
  char host[NI_MAXHOST];
  if (getnameinfo(reinterpret_cast<sockaddr*>(&a), sizeof a, host, sizeof host, nullptr, 0,
                  NI_NAMEREQD) != 0) {
    return std::string();
  }
  return host;
}

}  // namespace vxl::platform
