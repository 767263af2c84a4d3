#include "platform/thread/thread.h"

#include <pthread.h>

#include <atomic>
#include <cstring>
#include <string>
#include <system_error>
#include <thread>

namespace vxl::platform::thread {

struct Thread::Native {
  std::thread thread;
  std::atomic<std::thread::id> id{};  // the body's thread while it may run; read from any thread
};

void NameCurrentThread(const char* name) {
  char shortName[16] = {};
  std::strncpy(shortName, name ? name : "", sizeof shortName - 1);
  pthread_setname_np(pthread_self(), shortName);
}

namespace {

std::thread Launch(const char* name, std::function<void()> body,
                   std::atomic<std::thread::id>* id = nullptr) {
  std::string copied = name ? name : "";
  return std::thread([copied, body = std::move(body), id] {
    if (id) id->store(std::this_thread::get_id());
    NameCurrentThread(copied.c_str());
    body();
  });
}

}  // namespace

Thread::Thread() : native_(std::make_unique<Native>()) {}

Thread::~Thread() {
  Join();
}

bool Thread::Start(const char* name, std::function<void()> body) {
  if (native_->thread.joinable()) return false;
  try {
    native_->thread = Launch(name, std::move(body), &native_->id);
    native_->id.store(native_->thread.get_id());
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

void Thread::Join() {
  if (!native_->thread.joinable()) return;
  native_->thread.join();
  native_->id.store(std::thread::id());
}

bool Thread::Started() const {
  return native_->thread.joinable();
}

bool Thread::IsCurrent() const {
  return native_->id.load() == std::this_thread::get_id();
}

bool StartDetached(const char* name, std::function<void()> body) {
  try {
    Launch(name, std::move(body)).detach();
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

}  // namespace vxl::platform::thread
