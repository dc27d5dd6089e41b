#pragma once
// The files of chat transfers: the local files offered to others, and the
// one download that may run at a time. File names are used as typed; a
// relative name is taken from the directory given to the constructor
// (empty: the process's current directory).
#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "chat/chat_packet.h"
#include "platform/peer_address.h"

namespace vorn {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// A name as typed, resolved against directory when it is relative.
std::filesystem::path ResolveChatFile(const std::filesystem::path& directory, std::string_view name);

class OfferTable {
 public:
  static constexpr int kSlots = 10;
  static constexpr size_t kMaxName = 254;

  enum class OfferResult { kOffered, kFull, kCannotOpen };

  explicit OfferTable(std::filesystem::path directory) : directory_(std::move(directory)) {}

  // New offers take slot count(); withdrawn slots stay empty until all
  // offers are withdrawn at once.
  OfferResult Offer(std::string_view name);
  void WithdrawAll();
  bool Withdraw(int slot);
  bool IsOffered(int slot) const;
  std::string_view Name(int slot) const;
  int count() const { return count_; }
  // Up to out.size() bytes from offset; nullopt when the slot holds no file
  // or the offset cannot be reached. Several downloaders share one handle,
  // so every read seeks first.
  std::optional<size_t> ReadAt(int slot, uint32_t offset, std::span<uint8_t> out);

 private:
  struct Slot {
    FileHandle file;
    std::string name;
  };

  std::filesystem::path directory_;
  std::array<Slot, kSlots> slots_;
  int count_ = 0;
};

class Download {
 public:
  enum class StartResult { kStarted, kExists, kCannotWrite };
  enum class WriteResult { kWritten, kRefused, kSeekFailed, kWriteFailed };

  explicit Download(std::filesystem::path directory) : directory_(std::move(directory)) {}

  // overwrite false refuses a file that exists already.
  StartResult Start(std::string_view name, bool overwrite, PeerAddress source, int32_t now_ms);
  // Writes a fragment at its offset. A fragment that starts beyond the bytes
  // received so far is refused, so a peer can neither leave holes nor
  // inflate the file.
  WriteResult Write(const FileFragmentView& fragment);
  void End();

  bool running() const { return file_ != nullptr; }
  PeerAddress source() const { return source_; }
  int32_t startMs() const { return start_ms_; }
  const std::string& fileName() const { return file_name_; }

 private:
  std::filesystem::path directory_;
  FileHandle file_;
  std::string file_name_;
  PeerAddress source_;
  int32_t start_ms_ = 0;
  uint64_t received_ = 0;  // one past the highest byte written
};

}  // namespace vorn
