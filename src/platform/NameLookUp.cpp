#include "platform/NameLookUp.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

namespace vexa::platform {

struct NameLookUp::Slot {
  std::mutex lock;
  std::condition_variable ended;
  std::optional<std::vector<Endpoint>> addresses;  // under lock

  void fill(std::vector<Endpoint> found) {
    {
      std::lock_guard guard(lock);
      addresses = std::move(found);
    }
    ended.notify_all();
  }
};

namespace {

std::vector<Endpoint> resolveOrNothing(const NameResolver& resolve, const std::string& name,
                                       uint16_t port) {
  try {
    return resolve(name, port);
  } catch (...) {
    return {};  // a resolver that fails loudly found nothing all the same
  }
}

}  // namespace

NameLookUp::NameLookUp(const std::string& host, uint16_t port, NameResolver resolve)
    : slot_(std::make_shared<Slot>()) {
  if (const std::optional<Endpoint> numeric = Endpoint::parse(host, port)) {
    slot_->fill({*numeric});
    return;
  }
  if (!resolve) resolve = lookUpName;
  try {
    // Detached: a resolver stuck in the system never holds up the waiter's owner. The thread lets
    // go of its share and of the resolver before it ends, so that nothing outlives it.
    std::thread([slot = slot_, resolve = std::move(resolve), name = host, port]() mutable {
      slot->fill(resolveOrNothing(resolve, name, port));
      slot.reset();
      resolve = nullptr;
    }).detach();
  } catch (const std::system_error&) {
    slot_->fill({});
  }
}

std::optional<std::vector<Endpoint>> NameLookUp::waitFor(int timeoutMs) {
  std::unique_lock guard(slot_->lock);
  slot_->ended.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                        [this] { return slot_->addresses.has_value(); });
  return slot_->addresses;
}

}  // namespace vexa::platform
