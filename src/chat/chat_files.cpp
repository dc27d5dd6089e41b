#include "chat/chat_files.h"

#include <algorithm>

namespace vorn {

std::filesystem::path ResolveChatFile(const std::filesystem::path& directory, std::string_view name) {
  std::filesystem::path path(name);
  if (directory.empty() || path.is_absolute()) return path;
  return directory / path;
}

namespace {

FileHandle OpenFile(const std::filesystem::path& path, const char* mode) {
  return FileHandle(std::fopen(path.string().c_str(), mode));
}

}  // namespace

OfferTable::OfferResult OfferTable::Offer(std::string_view name) {
  if (count_ >= kSlots) return OfferResult::kFull;
  FileHandle file = OpenFile(ResolveChatFile(directory_, name), "rb");
  if (!file) return OfferResult::kCannotOpen;
  Slot& slot = slots_[static_cast<size_t>(count_++)];
  slot.file = std::move(file);
  slot.name = std::string(name.substr(0, kMaxName));
  return OfferResult::kOffered;
}

void OfferTable::WithdrawAll() {
  for (Slot& slot : slots_) slot = Slot{};
  count_ = 0;
}

bool OfferTable::Withdraw(int slot) {
  if (!IsOffered(slot)) return false;
  slots_[static_cast<size_t>(slot)] = Slot{};
  return true;
}

bool OfferTable::IsOffered(int slot) const {
  return slot >= 0 && slot < kSlots && slots_[static_cast<size_t>(slot)].file != nullptr;
}

std::string_view OfferTable::Name(int slot) const {
  return slot >= 0 && slot < kSlots ? std::string_view(slots_[static_cast<size_t>(slot)].name) : std::string_view();
}

std::optional<size_t> OfferTable::ReadAt(int slot, uint32_t offset, std::span<uint8_t> out) {
  if (!IsOffered(slot)) return std::nullopt;
  std::FILE* file = slots_[static_cast<size_t>(slot)].file.get();
  if (std::fseek(file, static_cast<long>(offset), SEEK_SET) != 0) return std::nullopt;
  size_t got = std::fread(out.data(), 1, out.size(), file);
  if (got < out.size() && std::ferror(file)) {
    std::clearerr(file);
    return std::nullopt;
  }
  return got;
}

Download::StartResult Download::Start(std::string_view name, bool overwrite, PeerAddress source, int32_t now_ms) {
  std::filesystem::path path = ResolveChatFile(directory_, name);
  if (!overwrite && OpenFile(path, "rb")) return StartResult::kExists;
  FileHandle file = OpenFile(path, "wb");
  if (!file) return StartResult::kCannotWrite;
  file_ = std::move(file);
  file_name_ = std::string(name);
  source_ = source;
  start_ms_ = now_ms;
  received_ = 0;
  return StartResult::kStarted;
}

Download::WriteResult Download::Write(const FileFragmentView& fragment) {
  if (!running() || fragment.count > kMaxFragmentData || fragment.count > fragment.data.size() ||
      fragment.offset > received_) {
    return WriteResult::kRefused;
  }
  if (std::fseek(file_.get(), static_cast<long>(fragment.offset), SEEK_SET) != 0) return WriteResult::kSeekFailed;
  if (fragment.count > 0 && std::fwrite(fragment.data.data(), 1, fragment.count, file_.get()) < fragment.count) {
    return WriteResult::kWriteFailed;
  }
  received_ = std::max<uint64_t>(received_, uint64_t{fragment.offset} + fragment.count);
  return WriteResult::kWritten;
}

void Download::End() {
  file_.reset();
  file_name_.clear();
  source_ = {};
  received_ = 0;
}

}  // namespace vorn
