// A TCP server on a free loopback port for network tests and benchmarks. It runs on its own
// thread and uses only the native socket layer (framework objects stay on the main thread).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "platform/net/ipv4_sockets.h"

namespace vxl::test {

class LoopbackServer {
 public:
  // Serves `connections` clients one after another with `serve(handle)`; the server closes each
  // client after serve returns.
  LoopbackServer(int connections, std::function<void(int32_t client)> serve) {
    listener_ = platform::OpenStreamSocket();
    uint32_t ip = 0;
    if (listener_ < 0 || !platform::BindAnyAddress(listener_, 0) ||
        !platform::StartListening(listener_, 8) || !platform::LocalAddress(listener_, ip, port_)) {
      port_ = 0;
      return;
    }
    thread_ = std::thread([this, connections, serve = std::move(serve)] {
      for (int i = 0; i < connections; ++i) {
        int32_t client = platform::AcceptClient(listener_);
        if (client < 0) return;
        serve(client);
        platform::CloseSocket(client);
      }
    });
  }
  ~LoopbackServer() {
    if (thread_.joinable()) thread_.join();
    if (listener_ >= 0) platform::CloseSocket(listener_);
  }

  int32_t Port() const { return port_; }
  // Waits until every connection has been served.
  void Join() {
    if (thread_.joinable()) thread_.join();
  }

  // Reads up to and including the first empty line (CR LF CR LF), at most `limit` bytes.
  static std::string ReadRequestHead(int32_t client, size_t limit = 65536) {
    std::string head;
    uint8_t b;
    while (head.size() < limit && head.find("\r\n\r\n") == std::string::npos &&
           platform::RecvBytes(client, &b, 1, 0) == 1) {
      head.push_back(static_cast<char>(b));
    }
    return head;
  }
  // Sends all bytes; false when the client went away.
  static bool SendAll(int32_t client, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
      int32_t n = platform::SendBytes(client, reinterpret_cast<const uint8_t*>(bytes.data()) + done,
                                      static_cast<int32_t>(bytes.size() - done), 0);
      if (n <= 0) return false;
      done += static_cast<size_t>(n);
    }
    return true;
  }

 private:
  int32_t listener_ = -1;
  int32_t port_ = 0;
  std::thread thread_;
};

}  // namespace vxl::test
