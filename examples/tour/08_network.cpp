// Tour: sockets and HTTP streams.
#include <cstdio>

#include "net/socket.h"
#include "startup/startup.h"
#include "stream/stream.h"

using namespace vxl;

int main() {
  InitFrameworkModules();
  // tour:begin
  Ref<TSocket> server = SocketOpenTcp();
  server->Bind(0);                                          // the system picks a port
  server->Listen(4);
  int32_t port = server->LocalPort();
  Ref<TStream> client = OpenStreamUrl(String("tcp::localhost:") + String::FromInt(port), 1, 1);
  Ref<TSocket> peer = server->Accept(1000);
  client->WriteLine(String("ping"));
  uint8_t buf[16];
  int32_t n = peer->Recv(buf, sizeof buf, 0);
  std::printf("%d bytes arrived\n", n);
  // OpenStreamUrl(String("http::example.org/index.html"), 1, 0) reads a page the same way.
  // tour:end
}
