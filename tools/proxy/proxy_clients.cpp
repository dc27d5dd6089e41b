#include "proxy/proxy_clients.h"

#include <algorithm>
#include <utility>

namespace vorn {

const ProxyClient* ProxyClientTable::Find(PeerAddress address) const {
  auto found = std::ranges::find_if(slots_, [&](const ProxyClient& c) { return c.in_use() && c.address == address; });
  return found == slots_.end() ? nullptr : &*found;
}

ProxyClient* ProxyClientTable::Find(PeerAddress address) {
  return const_cast<ProxyClient*>(std::as_const(*this).Find(address));
}

ProxyClient* ProxyClientTable::Add(PeerAddress address, int32_t now_ms) {
  auto free = std::ranges::find_if(slots_, [](const ProxyClient& c) { return !c.in_use(); });
  if (free == slots_.end()) return nullptr;
  UdpSocket upstream;
  if (!upstream.Open() || !upstream.Bind(bind_ip_, 0) || !upstream.SetNonBlocking()) return nullptr;
  free->address = address;
  free->upstream = std::move(upstream);
  free->last_active_ms = now_ms;
  return &*free;
}

void ProxyClientTable::Remove(ProxyClient& client) {
  client.upstream.Close();
  client.address = {};
  client.last_active_ms = 0;
}

size_t ProxyClientTable::size() const {
  return static_cast<size_t>(std::ranges::count_if(slots_, [](const ProxyClient& c) { return c.in_use(); }));
}

bool RefusedClients::Note(PeerAddress address) {
  if (std::ranges::find(recent_, address) != recent_.end()) return false;
  recent_[next_] = address;
  next_ = (next_ + 1) % recent_.size();
  return true;
}

void RefusedClients::Forget(PeerAddress address) { std::ranges::replace(recent_, address, PeerAddress{}); }

}  // namespace vorn
