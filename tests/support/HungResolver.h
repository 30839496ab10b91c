#pragma once

// A name resolver that hangs, as one waiting on an unreachable DNS server does, until the test
// lets it go.

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/NameLookUp.h"
#include "support/Loopback.h"

namespace vexa::test {

class HungResolver {
 public:
  // Blocks every call until release(), then answers 127.0.0.1 with the port asked for.
  platform::NameResolver resolver() const {
    return [gate = gate_](const std::string&, uint16_t port) {
      std::unique_lock lock(gate->mutex);
      gate->entered = true;
      gate->changed.notify_all();
      gate->changed.wait(lock, [&] { return gate->released; });
      return std::vector<platform::Endpoint>{platform::Endpoint::ipv4(INADDR_LOOPBACK, port)};
    };
  }
  // Whether a look-up has come into the resolver (bounded by kGenerousWait).
  bool waitEntered() {
    std::unique_lock lock(gate_->mutex);
    return gate_->changed.wait_for(lock, kGenerousWait, [&] { return gate_->entered; });
  }
  bool entered() const {
    std::lock_guard lock(gate_->mutex);
    return gate_->entered && !gate_->released;
  }
  void release() {
    std::lock_guard lock(gate_->mutex);
    gate_->released = true;
    gate_->changed.notify_all();
  }
  // Whether every copy of the resolver is gone: the abandoned look-up's thread has finished and
  // freed what it held. Only once its owners are destroyed.
  bool allLetGo() const {
    return eventually([&] { return gate_.use_count() == 1; });
  }

 private:
  struct Gate {
    mutable std::mutex mutex;
    std::condition_variable changed;
    bool entered = false;
    bool released = false;
  };
  std::shared_ptr<Gate> gate_ = std::make_shared<Gate>();
};

}  // namespace vexa::test
