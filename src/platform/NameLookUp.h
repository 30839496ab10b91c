#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Endpoint.h"

namespace vexa::platform {

// Looks a host name up: its addresses, each with port; empty when it has none. May block for as
// long as the system's resolver does.
using NameResolver = std::function<std::vector<Endpoint>(const std::string& name, uint16_t port)>;

// One look-up of a host, run so that whoever waits for it can give up at any moment: a name goes
// to the resolver on a thread of its own, which keeps its own share of the result and frees it
// when it finishes, however long after its waiter left. A numeric address is never looked up.
class NameLookUp {
 public:
  // An empty resolve means the system's (getaddrinfo).
  NameLookUp(const std::string& host, uint16_t port, NameResolver resolve);

  // The addresses once the look-up has ended, waiting at most timeoutMs for it; none while it
  // goes on.
  std::optional<std::vector<Endpoint>> waitFor(int timeoutMs);

 private:
  struct Slot;
  std::shared_ptr<Slot> slot_;
};

}  // namespace vexa::platform
