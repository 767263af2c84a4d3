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

#include "runtime/clock.h"
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

}  // namespace

int main(int argc, char** argv) {
  using namespace vxl;
  bool listen = argc == 4 && std::string(argv[1]) == "listen";
  bool connect = argc == 5 && std::string(argv[1]) == "connect";
  if (!listen && !connect) {
    std::fprintf(stderr, "usage: %s listen <port> <name>\n       %s connect <host> <port> <name>\n",
                 argv[0], argv[0]);
    return 2;
  }
  InitSynkModule();
  Ref<TSynkHost> host = NewSynkHost();
  String name(argv[argc - 1]);
  if (listen ? !ListenSynkHost(host, std::atoi(argv[2]))
             : !ConnectSynkHost(host, String(argv[2]), std::atoi(argv[3]), 5000)) {
    std::fprintf(stderr, "could not %s\n", listen ? "listen on that port" : "reach that host");
    return 1;
  }
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
