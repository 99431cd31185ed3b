#include "net/system_name_resolver.h"

#include <netdb.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "net/host_name.h"

namespace kip {

namespace {

// What the caller and the helper thread share; it outlives whichever of them ends last.
struct PendingLookup {
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  LookupResult result;
};

}  // namespace

LookupResult getaddrinfoLookup(const std::string& host) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_IDN;
  addrinfo* list = nullptr;
  const int rc = getaddrinfo(host.c_str(), nullptr, &hints, &list);
  LookupResult result;
  if (rc != 0) {
    result.status = (rc == EAI_NONAME || rc == EAI_NODATA || rc == EAI_FAIL) ? LookupStatus::NotFound
                    : rc == EAI_AGAIN                                        ? LookupStatus::TimedOut
                                                                             : LookupStatus::Failed;
    return result;
  }
  std::optional<IpAddress> v4, v6;
  for (addrinfo* entry = list; entry; entry = entry->ai_next) {
    auto address = IpAddress::fromSockaddr(entry->ai_addr);
    if (!address) continue;
    if (!address->isV6() && !v4) v4 = address;
    if (address->isV6() && !v6) v6 = address;
  }
  freeaddrinfo(list);
  if (v4 || v6) {
    result.status = LookupStatus::Ok;
    result.address = v4 ? *v4 : *v6;
  } else {
    result.status = LookupStatus::NotFound;
  }
  return result;
}

SystemNameResolver::SystemNameResolver(std::chrono::milliseconds limit, BlockingLookup lookup)
    : m_limit(limit), m_lookup(lookup ? std::move(lookup) : BlockingLookup(getaddrinfoLookup)) {}

LookupResult SystemNameResolver::resolve(std::string_view host) {
  if (auto numeric = IpAddress::parse(host)) return {LookupStatus::Ok, *numeric};
  if (!isValidHostName(host)) return {LookupStatus::InvalidName, {}};

  auto pending = std::make_shared<PendingLookup>();
  try {
    std::thread([pending, lookup = m_lookup, name = std::string(host)] {
      LookupResult result = lookup(name);
      const std::lock_guard lock(pending->mutex);
      pending->result = result;
      pending->finished = true;
      pending->done.notify_all();
    }).detach();
  } catch (const std::system_error&) {
    return {LookupStatus::Failed, {}};
  }
  std::unique_lock lock(pending->mutex);
  if (!pending->done.wait_for(lock, m_limit, [&] { return pending->finished; })) return {LookupStatus::TimedOut, {}};
  return pending->result;
}

}  // namespace kip
