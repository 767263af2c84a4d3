// A text chat over Synk. One program listens, the others connect to it; every line typed goes to
// everyone else as a message, through the listening program.
//
//   synk_chat listen 7777 ada          in one terminal
//   synk_chat connect localhost 7777 bob   in another (as many as you like)
//
// Each program announces one object holding its name; a typed line becomes a message object sent
// to every other program's name object, which its owner receives. An empty line or end of input
// leaves the chat.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>

#include "net/socket.h"
#include "runtime/clock.h"
#include "support/example.h"
#include "synk/synk.h"

namespace {

// Lines typed, handed from the reading thread to the main thread (which alone touches Synk).
struct Typed {
  std::mutex lock;
  std::deque<std::string> lines;
  std::atomic<bool> ended{false};
};

void ReadLines(Typed& typed) {
  std::string line;
  while (std::getline(std::cin, line) && !line.empty()) {
    std::lock_guard<std::mutex> hold(typed.lock);
    typed.lines.push_back(line);
  }
  typed.ended = true;
}

const char kUsage[] =
    "usage: %1$s listen <port> <name>\n"
    "       %1$s connect <host> <port> <name>\n"
    "A text chat: one program listens on a UDP port (1 to 65535), the others connect to it.\n"
    "Type a line to send it; an empty line or the end of input leaves.\n";

// Starts the host, or says why it could not: false then.
bool Start(const vxl::Ref<vxl::TSynkHost>& host, bool listen, char** argv) {
  using namespace vxl;
  if (listen) {
    int32_t port = example::ParseNumber(argv[2], 1, 65535, "the port");
    if (ListenSynkHost(host, port)) return true;
    std::fprintf(stderr, "could not listen on port %d (is another program using it?)\n", port);
    example::ReportLibraryFailure();
    return false;
  }
  int32_t port = example::ParseNumber(argv[3], 1, 65535, "the port");
  if (ResolveHostAddresses(String(argv[2])).Length() == 0) {
    std::fprintf(stderr, "the host name \"%s\" does not resolve\n", argv[2]);
    return false;
  }
  if (ConnectSynkHost(host, String(argv[2]), port, 5000)) return true;
  std::fprintf(stderr, "no chat answered at %s port %d within 5 seconds (refused or not there)\n",
               argv[2], port);
  return false;
}

int Main(int argc, char** argv) {
  using namespace vxl;
  bool listen = argc == 4 && std::string(argv[1]) == "listen";
  bool connect = argc == 5 && std::string(argv[1]) == "connect";
  if (!listen && !connect) example::UsageError(kUsage);
  InitSynkModule();
  InitSocketModule();
  Ref<TSynkHost> host = NewSynkHost();
  String name(argv[argc - 1]);
  if (!Start(host, listen, argv)) return 1;
  Ref<TSynkObject> me = NewSynkObject(host);
  SynkSlotSetString(me, 0, name);
  std::printf("* you are %s; type a line to send it, an empty line to leave\n",
              name.ToCString().c_str());

  Typed typed;
  std::thread reader(ReadLines, std::ref(typed));
  while (!typed.ended) {
    SyncSynkHost(host);
    for (Ref<Object> o : SynkObjectList(host, SYNK_LIST_CREATED)) {
      std::printf("* %s joined\n", SynkSlotString(o.As<TSynkObject>(), 0).ToCString().c_str());
    }
    for (Ref<Object> o : SynkObjectList(host, SYNK_LIST_CLOSED)) {
      std::printf("* %s left\n", SynkSlotString(o.As<TSynkObject>(), 0).ToCString().c_str());
    }
    for (Ref<Object> m : SynkMessageList(host)) {
      auto msg = m.As<TSynkObject>();
      std::printf("%s: %s\n", SynkSlotString(msg, 1).ToCString().c_str(),
                  SynkSlotString(msg, 0).ToCString().c_str());
    }
    std::fflush(stdout);

    std::deque<std::string> lines;
    {
      std::lock_guard<std::mutex> hold(typed.lock);
      lines.swap(typed.lines);
    }
    for (const std::string& line : lines) {
      Ref<TSynkObject> msg = NewSynkMessage(host);
      SynkSlotSetString(msg, 0, String(std::string_view(line)));
      SynkSlotSetString(msg, 1, name);
      for (Ref<Object> o : SynkObjectList(host, SYNK_LIST_ALL)) {
        auto other = o.As<TSynkObject>();
        if (!IsRemoteSynkObject(other) || StateOfSynkObject(other) == SYNK_STATE_CLOSING) continue;
        try {
          PostSynkMessage(msg, other);
        } catch (const Thrown&) {
          // That program has just gone; its leaving shows at the next sync.
        }
      }
    }
    SleepMilliseconds(10);
  }
  reader.join();
  ShutSynkHost(host);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return example::Run(Main, argc, argv, kUsage);
}
