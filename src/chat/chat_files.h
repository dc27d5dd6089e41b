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
#include "chat/received_ranges.h"
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

  // Offsets travel as 32 bits.
  static constexpr uint64_t kMaxFileSize = uint64_t{1} << 32;

  enum class OfferResult { kOffered, kFull, kCannotOpen, kTooLarge };

  explicit OfferTable(std::filesystem::path directory) : directory_(std::move(directory)) {}

  // New offers take slot count(); withdrawn slots stay empty until all
  // offers are withdrawn at once.
  OfferResult Offer(std::string_view name);
  void WithdrawAll();
  bool Withdraw(int slot);
  bool IsOffered(int slot) const;
  std::string_view Name(int slot) const;
  uint64_t Size(int slot) const { return IsOffered(slot) ? slots_[static_cast<size_t>(slot)].size : 0; }
  int count() const { return count_; }
  // Up to out.size() bytes from offset; nullopt when the slot holds no file
  // or the offset cannot be reached. Several downloaders share one handle,
  // so every read seeks first.
  std::optional<size_t> ReadAt(int slot, uint32_t offset, std::span<uint8_t> out);

 private:
  struct Slot {
    FileHandle file;
    std::string name;
    uint64_t size = 0;  // when it was offered
  };

  std::filesystem::path directory_;
  std::array<Slot, kSlots> slots_;
  int count_ = 0;
};

// Fragments in flight at once toward a peer that announced windowed
// transfers; at 500 bytes each, 32 KB per round trip.
inline constexpr size_t kTransferWindow = 64;

// One download. The file is written under a temporary name beside the
// target and takes the target's name only when it is complete, so a failed
// /get leaves nothing behind and a failed /xget leaves the old file whole.
class Download {
 public:
  enum class StartResult { kStarted, kExists, kCannotWrite };
  enum class WriteResult { kWritten, kHeld, kCompleted, kRefused, kSeekFailed, kWriteFailed, kCannotRename };
  // How far ahead of the whole part a fragment may land: twice the most a
  // sender keeps in flight, so the file cannot be inflated by a far offset.
  static constexpr uint64_t kMaxAhead = 2 * kTransferWindow * kMaxFragmentData;

  explicit Download(std::filesystem::path directory) : directory_(std::move(directory)) {}
  ~Download() { End(); }
  Download(const Download&) = delete;
  Download& operator=(const Download&) = delete;

  // overwrite false refuses a file that exists already.
  StartResult Start(std::string_view name, bool overwrite, PeerAddress source, int32_t now_ms);
  // Writes a fragment at its offset. kHeld: its bytes are here already.
  // Refused: beyond the window ahead, the last fragment before everything
  // in front of it, or too scattered to track. kCompleted: the last
  // fragment, and the file now has its name.
  WriteResult Write(const FileFragmentView& fragment, uint32_t serial, int32_t now_ms);
  // Ends the download; unless it completed, its temporary file is removed.
  void End();
  // A fragment that belongs to an earlier download from the same sender.
  bool IsStale(PeerAddress sender, uint32_t serial) const;
  // The sender of the download that ended last (its late copies are quiet).
  PeerAddress previousSource() const { return previous_source_; }

  bool running() const { return file_ != nullptr; }
  PeerAddress source() const { return source_; }
  int32_t startMs() const { return start_ms_; }
  int32_t lastProgressMs() const { return last_progress_ms_; }
  uint64_t received() const { return ranges_.held(); }
  const std::string& fileName() const { return file_name_; }

 private:
  WriteResult Complete();

  std::filesystem::path directory_;
  FileHandle file_;
  std::string file_name_;
  std::filesystem::path target_;
  std::filesystem::path temporary_;
  PeerAddress source_;
  int32_t start_ms_ = 0;
  int32_t last_progress_ms_ = 0;
  ReceivedRanges ranges_;
  uint32_t last_serial_ = 0;  // the newest serial written
  PeerAddress previous_source_;
  uint32_t previous_last_serial_ = 0;
};

}  // namespace vorn
