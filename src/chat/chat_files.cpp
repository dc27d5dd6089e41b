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
  std::filesystem::path path = ResolveChatFile(directory_, name);
  FileHandle file = OpenFile(path, "rb");
  if (!file) return OfferResult::kCannotOpen;
  std::error_code error;
  uint64_t size = std::filesystem::file_size(path, error);
  if (!error && size >= kMaxFileSize) return OfferResult::kTooLarge;
  Slot& slot = slots_[static_cast<size_t>(count_++)];
  slot.file = std::move(file);
  slot.name = std::string(name.substr(0, kMaxName));
  slot.size = error ? 0 : size;
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
  std::filesystem::path temporary = path;
  temporary += ".vorn-part";
  FileHandle file = OpenFile(temporary, "wb");
  if (!file) return StartResult::kCannotWrite;
  End();
  file_ = std::move(file);
  file_name_ = std::string(name);
  target_ = std::move(path);
  temporary_ = std::move(temporary);
  source_ = source;
  start_ms_ = last_progress_ms_ = now_ms;
  ranges_.Clear();
  last_serial_ = source == previous_source_ ? previous_last_serial_ : 0;
  return StartResult::kStarted;
}

Download::WriteResult Download::Write(const FileFragmentView& fragment, uint32_t serial, int32_t now_ms) {
  if (!running() || fragment.count > kMaxFragmentData || fragment.count > fragment.data.size()) {
    return WriteResult::kRefused;
  }
  uint64_t begin = fragment.offset;
  uint64_t end = begin + fragment.count;
  bool last = fragment.count < kMaxFragmentData;
  if (!last && ranges_.Holds(begin, end)) return WriteResult::kHeld;
  if (begin > ranges_.whole() + kMaxAhead || (last && begin != ranges_.whole()) || !ranges_.CanAdd(begin, end)) {
    return WriteResult::kRefused;
  }
  if (std::fseek(file_.get(), static_cast<long>(begin), SEEK_SET) != 0) return WriteResult::kSeekFailed;
  if (fragment.count > 0 && std::fwrite(fragment.data.data(), 1, fragment.count, file_.get()) < fragment.count) {
    return WriteResult::kWriteFailed;
  }
  ranges_.Add(begin, end);
  if (static_cast<int32_t>(serial - last_serial_) > 0) last_serial_ = serial;
  last_progress_ms_ = now_ms;
  return last ? Complete() : WriteResult::kWritten;
}

Download::WriteResult Download::Complete() {
  bool flushed = std::fflush(file_.get()) == 0;
  file_.reset();
  std::error_code error;
  if (flushed) std::filesystem::rename(temporary_, target_, error);
  if (!flushed || error) return WriteResult::kCannotRename;
  temporary_.clear();
  return WriteResult::kCompleted;
}

void Download::End() {
  file_.reset();
  if (!temporary_.empty()) {
    std::error_code ignored;
    std::filesystem::remove(temporary_, ignored);
  }
  if (source_.ip != 0) {
    previous_source_ = source_;
    previous_last_serial_ = last_serial_;
  }
  temporary_.clear();
  file_name_.clear();
  source_ = {};
  ranges_.Clear();
}

bool Download::IsStale(PeerAddress sender, uint32_t serial) const {
  if (sender != previous_source_) return false;
  if (!running()) return true;
  return sender == source_ && static_cast<int32_t>(serial - previous_last_serial_) <= 0;
}

}  // namespace vorn
