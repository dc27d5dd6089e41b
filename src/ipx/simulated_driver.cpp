#include "ipx/simulated_driver.h"

#include <algorithm>
#include <cstring>

namespace vorn {

SimulatedDriver::SimulatedDriver() { deliveries_.resize(kRecordedDeliveries); }

bool SimulatedDriver::Open(uint32_t& error_code) {
  std::lock_guard lock(mutex_);
  error_code = open_error_;
  open_ = open_error_ == 0;
  return open_;
}

bool SimulatedDriver::Register(const LinkInfo& info, std::span<uint8_t>& ring) {
  std::lock_guard lock(mutex_);
  registrations_.push_back(info);
  if (refuse_registration_) return false;
  ring = ring_memory_;
  return true;
}

void SimulatedDriver::Deliver(PeerAddress sender, std::span<const uint8_t> frame, bool broadcast) {
  {
    std::lock_guard lock(mutex_);
    if (delivery_count_ < deliveries_.size()) {
      StoredDelivery& stored = deliveries_[delivery_count_];
      stored.sender = sender;
      stored.broadcast = broadcast;
      stored.size = std::min(frame.size(), stored.frame.size());
      std::copy_n(frame.begin(), stored.size, stored.frame.begin());
    }
    ++delivery_count_;
  }
  changed_.notify_all();
}

GameQuery SimulatedDriver::QueryGame() {
  std::lock_guard lock(mutex_);
  ++query_count_;
  return game_;
}

bool SimulatedDriver::WaitForEvent(int32_t timeout_ms) {
  std::unique_lock lock(mutex_);
  ++waiters_;
  changed_.notify_all();  // WaitUntilIdle watches for a waiter
  bool signalled = changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] { return signalled_; });
  signalled_ = false;  // auto-reset
  --waiters_;
  return signalled;
}

void SimulatedDriver::Wake() { Signal(); }

void SimulatedDriver::Signal() {
  {
    std::lock_guard lock(mutex_);
    signalled_ = true;
  }
  changed_.notify_all();
}

void SimulatedDriver::Close() {
  std::lock_guard lock(mutex_);
  open_ = false;
}

void SimulatedDriver::FailOpen(uint32_t error_code) {
  std::lock_guard lock(mutex_);
  open_error_ = error_code;
}

void SimulatedDriver::RefuseRegistration(bool refuse) {
  std::lock_guard lock(mutex_);
  refuse_registration_ = refuse;
}

void SimulatedDriver::SetRunningGame(IpxSocket socket, std::string_view name) {
  std::lock_guard lock(mutex_);
  game_ = GameQuery{};
  game_.SetSocketBytes(socket);
  std::memcpy(game_.name, name.data(), std::min(name.size(), sizeof game_.name));
}

SlotPacket SimulatedDriver::Stamp(const GamePacket& packet) {
  std::lock_guard lock(mutex_);
  return {packet.destination, next_sequence_++, packet.destination_socket, packet.source_socket, packet.payload};
}

std::optional<size_t> SimulatedDriver::PutGamePacket(const GamePacket& packet) {
  std::optional<size_t> index;
  {
    std::lock_guard lock(ring_mutex_);
    index = ring().FirstFreeSlot();
    if (!index || !ring().slot(*index).Fill(Stamp(packet))) return std::nullopt;
  }
  Signal();
  return index;
}

bool SimulatedDriver::FillSlot(size_t index, const GamePacket& packet) {
  std::lock_guard lock(ring_mutex_);
  return index < kRingSlotCount && ring().slot(index).Fill(Stamp(packet));
}

bool SimulatedDriver::IsOpen() const {
  std::lock_guard lock(mutex_);
  return open_;
}

std::vector<LinkInfo> SimulatedDriver::Registrations() const {
  std::lock_guard lock(mutex_);
  return registrations_;
}

std::vector<SimulatedDriver::Delivery> SimulatedDriver::Deliveries() const {
  std::lock_guard lock(mutex_);
  std::vector<Delivery> result;
  for (size_t i = 0; i < std::min(delivery_count_, deliveries_.size()); ++i) {
    const StoredDelivery& stored = deliveries_[i];
    result.push_back({stored.sender,
                      {stored.frame.begin(), stored.frame.begin() + static_cast<ptrdiff_t>(stored.size)},
                      stored.broadcast});
  }
  return result;
}

size_t SimulatedDriver::QueryCount() const {
  std::lock_guard lock(mutex_);
  return query_count_;
}

size_t SimulatedDriver::DeliveryCount() const {
  std::lock_guard lock(mutex_);
  return delivery_count_;
}

bool SimulatedDriver::WaitForDeliveries(size_t count, std::chrono::milliseconds limit) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, limit, [&] { return delivery_count_ >= count; });
}

bool SimulatedDriver::WaitUntilIdle(std::chrono::milliseconds limit) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, limit, [&] { return waiters_ > 0 && !signalled_; });
}

}  // namespace vorn
