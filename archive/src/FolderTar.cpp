// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/archive/FolderTar.h"

#include <archive.h>
#include <archive_entry.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>

#include "sealvane/archive/modCommon.h"
#include "sealvane/platform/DynamicLibrary.h"
#include "sealvane/platform/RuntimeError.h"

namespace sealvane {

using platform::RuntimeError;

namespace {

constexpr std::size_t kReadRun = 64 * 1024;
// Longest entry name unpacked; longer ones are left out.
constexpr std::size_t kMaxName = 4096;
// The stream's entries name no owner: a folder goes to whoever unpacks it.
constexpr int kExtractFlags = ARCHIVE_EXTRACT_TIME | ARCHIVE_EXTRACT_PERM | ARCHIVE_EXTRACT_SECURE_SYMLINKS |
                              ARCHIVE_EXTRACT_SECURE_NODOTDOT | ARCHIVE_EXTRACT_NO_OVERWRITE;

// libarchive is bound when a folder is first packed or unpacked, as zlib
// is: the program starts, and handles files, without it (and without the
// compression libraries it brings along).
#define SEALVANE_LIBARCHIVE_CALLS(X) \
  X(archive_entry_atime)\
  X(archive_entry_atime_is_set)\
  X(archive_entry_atime_nsec)\
  X(archive_entry_copy_pathname)\
  X(archive_entry_copy_stat)\
  X(archive_entry_copy_symlink)\
  X(archive_entry_filetype)\
  X(archive_entry_free)\
  X(archive_entry_hardlink)\
  X(archive_entry_mtime)\
  X(archive_entry_mtime_nsec)\
  X(archive_entry_new)\
  X(archive_entry_pathname)\
  X(archive_entry_perm)\
  X(archive_entry_set_gid)\
  X(archive_entry_set_nlink)\
  X(archive_entry_set_perm)\
  X(archive_entry_set_size)\
  X(archive_entry_set_uid)\
  X(archive_entry_unset_atime)\
  X(archive_entry_unset_ctime)\
  X(archive_entry_symlink)\
  X(archive_error_string)\
  X(archive_read_data_block)\
  X(archive_read_free)\
  X(archive_read_new)\
  X(archive_read_next_header)\
  X(archive_read_open)\
  X(archive_read_support_format_tar)\
  X(archive_write_close)\
  X(archive_write_data)\
  X(archive_write_data_block)\
  X(archive_write_disk_new)\
  X(archive_write_disk_set_options)\
  X(archive_write_finish_entry)\
  X(archive_write_free)\
  X(archive_write_header)\
  X(archive_write_new)\
  X(archive_write_open2)\
  X(archive_write_set_bytes_per_block)\
  X(archive_write_set_format_pax)\
  X(archive_write_set_options)

struct LibArchive {
#define SEALVANE_SLOT(name) decltype(&::name) name = nullptr;
  SEALVANE_LIBARCHIVE_CALLS(SEALVANE_SLOT)
#undef SEALVANE_SLOT
};

// Throws RuntimeError 48 or 453 when libarchive or one of its calls is missing.
LibArchive g_calls;

const LibArchive& LoadLibArchive() {
  static platform::LazyLibrary library("libarchive.so.13", true);
  static std::once_flag loaded;
  std::call_once(loaded, [] {
    LibArchive found;
#define SEALVANE_RESOLVE(name) library.Resolve(found.name, #name);
    SEALVANE_LIBARCHIVE_CALLS(SEALVANE_RESOLVE)
#undef SEALVANE_RESOLVE
    g_calls = found;
  });
  return g_calls;
}

// Once loaded (the packer and the unpacker load it when they are made).
const LibArchive& Lib() noexcept { return g_calls; }

RuntimeError Unreadable(const char* what, const std::string& path, int err) {
  const std::int32_t number = platform::ErrnoToRuntimeNumber(err);
  return RuntimeError(number, std::string("The ") + what + " " + path + " cannot be read: " +
                                  platform::StandardDescription(number) + ".");
}

RuntimeError LibraryFailure(archive* a, const std::string& sentence) {
  const char* why = Lib().archive_error_string(a);
  return RuntimeError(platform::rt::kInvalidCall, sentence + (why ? std::string(" ") + why : std::string()));
}

std::vector<std::string> Components(const std::string& path) {
  std::vector<std::string> parts;
  std::size_t at = 0;
  while (at <= path.size()) {
    const std::size_t slash = std::min(path.find('/', at), path.size());
    std::string part = path.substr(at, slash - at);
    if (!part.empty() && part != ".") parts.push_back(std::move(part));
    at = slash + 1;
  }
  return parts;
}

std::string Shown(const std::string& name) { return ShownName(name); }

struct EntryDeleter {
  void operator()(archive_entry* e) const noexcept { Lib().archive_entry_free(e); }
};

// The folder's tree, depth first, each folder's names in byte order.
class Walker {
 public:
  struct Item {
    std::string rel;  // relative to the top folder; empty for the top
    struct stat st {};
  };

  explicit Walker(std::string root) : m_root(std::move(root)) {}

  bool Next(Item& item) {
    if (!m_bStarted) {
      m_bStarted = true;
      // The folder itself may be reached through a link; nothing inside it is.
      if (::stat(m_root.c_str(), &item.st) != 0) throw Unreadable("folder", m_root, errno);
      item.rel.clear();
      if (S_ISDIR(item.st.st_mode)) Push("");
      return true;
    }
    while (!m_stack.empty()) {
      Frame& frame = m_stack.back();
      if (frame.next == frame.names.size()) {
        m_stack.pop_back();
        continue;
      }
      const std::string& name = frame.names[frame.next++];
      std::string rel = frame.rel.empty() ? name : frame.rel + "/" + name;
      if (::lstat(Path(rel).c_str(), &item.st) != 0) {
        if (errno == ENOENT) continue;  // gone since the folder was listed
        throw Unreadable("file", Path(rel), errno);
      }
      item.rel = std::move(rel);
      if (S_ISDIR(item.st.st_mode)) Push(item.rel);
      return true;
    }
    return false;
  }

  std::string Path(const std::string& rel) const { return rel.empty() ? m_root : m_root + "/" + rel; }

 private:
  struct Frame {
    std::string rel;
    std::vector<std::string> names;
    std::size_t next = 0;
  };

  void Push(const std::string& rel) {
    const std::string path = Path(rel);
    DIR* dir = ::opendir(path.c_str());
    if (dir == nullptr) throw Unreadable("folder", path, errno);
    Frame frame {rel, {}, 0};
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
      if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
        frame.names.emplace_back(entry->d_name);
      }
    }
    const int err = errno;
    ::closedir(dir);
    if (err != 0) throw Unreadable("folder", path, err);
    std::sort(frame.names.begin(), frame.names.end());
    m_stack.push_back(std::move(frame));
  }

  std::string m_root;
  bool m_bStarted = false;
  std::vector<Frame> m_stack;
};

}  // namespace

bool LinkStaysInside(const std::string& name, const std::string& target) {
  if (target.empty() || target.front() == '/') return false;
  const std::vector<std::string> at = Components(name);
  std::size_t depth = at.empty() ? 0 : at.size() - 1;  // the folder that holds the link
  bool named = false;
  for (const std::string& part : Components(target)) {
    if (part == "..") {
      if (named || depth == 0) return false;
      --depth;
    } else {
      named = true;
    }
  }
  return true;
}

// --- packing ---------------------------------------------------------------------

struct FolderPacker::Impl {
  std::string root;
  std::string top;
  Walker walker;
  archive* writer = nullptr;
  ByteArray pending;  // stream bytes made and not yet read
  std::size_t taken = 0;
  bool finished = false;
  int fd = -1;  // the file whose data is being packed
  std::string current;
  std::uint64_t left = 0;
  ByteArray run = ByteArray(kReadRun);
  std::uint64_t estimate = 0;
  std::vector<std::string> leftOut;

  explicit Impl(std::string folder) : root(std::move(folder)), walker(root) {}

  ~Impl() {
    if (fd >= 0) ::close(fd);
    if (writer != nullptr) Lib().archive_write_free(writer);
    WipeBytes(pending);
    WipeBytes(run);
  }

  static la_ssize_t OnWrite(archive*, void* self, const void* data, size_t size) {
    try {
      ByteArray& out = static_cast<Impl*>(self)->pending;
      const auto* bytes = static_cast<const std::uint8_t*>(data);
      out.insert(out.end(), bytes, bytes + size);
      return static_cast<la_ssize_t>(size);
    } catch (...) {
      return -1;
    }
  }

  void Step() {
    if (fd >= 0) {
      PackData();
      return;
    }
    Walker::Item item;
    if (!walker.Next(item)) {
      if (Lib().archive_write_close(writer) != ARCHIVE_OK) throw LibraryFailure(writer, "The folder could not be packed.");
      finished = true;
      return;
    }
    const std::string path = walker.Path(item.rel);
    const std::string name = item.rel.empty() ? top : top + "/" + item.rel;
    std::unique_ptr<archive_entry, EntryDeleter> entry(Lib().archive_entry_new());
    std::string link;
    if (S_ISREG(item.st.st_mode)) {
      fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
      if (fd < 0) throw Unreadable("file", path, errno);
      struct stat now {};
      if (::fstat(fd, &now) != 0) throw Unreadable("file", path, errno);
      if (!S_ISREG(now.st_mode) || now.st_ino != item.st.st_ino || now.st_dev != item.st.st_dev) {
        throw RuntimeError(platform::rt::kPathFileAccess, "The file " + path + " changed while it was being encrypted.");
      }
      item.st = now;
      current = path;
      left = static_cast<std::uint64_t>(now.st_size);
    } else if (S_ISLNK(item.st.st_mode)) {
      std::string target(static_cast<std::size_t>(std::clamp<off_t>(item.st.st_size, 1, 65536)) + 1, '\0');
      const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
      if (n < 0) throw Unreadable("link", path, errno);
      target.resize(static_cast<std::size_t>(n));
      link = std::move(target);
    } else if (!S_ISDIR(item.st.st_mode)) {
      leftOut.push_back(Shown(item.rel));
      return;
    }
    Lib().archive_entry_copy_stat(entry.get(), &item.st);
    Lib().archive_entry_copy_pathname(entry.get(), name.c_str());
    Lib().archive_entry_set_uid(entry.get(), 0);
    Lib().archive_entry_set_gid(entry.get(), 0);
    Lib().archive_entry_set_nlink(entry.get(), 1);
    // Only what unpacking restores: the last-write time. (Reading the files
    // changes their access times; the change time cannot be set.)
    Lib().archive_entry_unset_atime(entry.get());
    Lib().archive_entry_unset_ctime(entry.get());
    if (!S_ISREG(item.st.st_mode)) Lib().archive_entry_set_size(entry.get(), 0);
    if (S_ISLNK(item.st.st_mode)) Lib().archive_entry_copy_symlink(entry.get(), link.c_str());
    if (Lib().archive_write_header(writer, entry.get()) < ARCHIVE_WARN) {
      throw LibraryFailure(writer, "The folder could not be packed at " + path + ".");
    }
    if (fd >= 0 && left == 0) EndData();
  }

  void PackData() {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(left, run.size()));
    ssize_t n;
    do {
      n = ::read(fd, run.data(), want);
    } while (n < 0 && errno == EINTR);
    if (n < 0) throw Unreadable("file", current, errno);
    if (n == 0) {
      throw RuntimeError(platform::rt::kPathFileAccess, "The file " + current + " changed while it was being encrypted.");
    }
    if (Lib().archive_write_data(writer, run.data(), static_cast<std::size_t>(n)) < 0) {
      throw LibraryFailure(writer, "The folder could not be packed at " + current + ".");
    }
    left -= static_cast<std::uint64_t>(n);
    if (left == 0) EndData();
  }

  void EndData() {
    ::close(fd);
    fd = -1;
    if (Lib().archive_write_finish_entry(writer) < ARCHIVE_WARN) {
      throw LibraryFailure(writer, "The folder could not be packed at " + current + ".");
    }
  }
};

FolderPacker::FolderPacker(const std::string& folder) {
  LoadLibArchive();
  std::string root = folder;
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  m = std::make_unique<Impl>(root);
  const std::size_t slash = root.find_last_of('/');
  m->top = slash == std::string::npos ? root : root.substr(slash + 1);
  if (m->top.empty() || m->top == "." || m->top == "..") {
    throw RuntimeError(platform::rt::kBadFileName, "The folder " + folder + " has no name to store.");
  }
  // Everything is looked at once before the stream starts, so that what
  // cannot be read is said before anything is written.
  Walker walker(root);
  Walker::Item item;
  while (walker.Next(item)) {
    m->estimate += 1536;
    if (S_ISREG(item.st.st_mode)) {
      const std::string path = walker.Path(item.rel);
      if (::faccessat(AT_FDCWD, path.c_str(), R_OK, AT_EACCESS) != 0) throw Unreadable("file", path, errno);
      m->estimate += (static_cast<std::uint64_t>(item.st.st_size) + 511) / 512 * 512;
    }
  }
  m->writer = Lib().archive_write_new();
  if (m->writer == nullptr) throw RuntimeError(platform::rt::kOutOfMemory);
  // Full pax headers keep times to the nanosecond; names are stored as
  // their bytes, whatever the locale.
  if (Lib().archive_write_set_format_pax(m->writer) != ARCHIVE_OK ||
      Lib().archive_write_set_options(m->writer, "hdrcharset=BINARY") != ARCHIVE_OK ||
      Lib().archive_write_set_bytes_per_block(m->writer, 0) != ARCHIVE_OK ||
      Lib().archive_write_open2(m->writer, m.get(), nullptr, &Impl::OnWrite, nullptr, nullptr) != ARCHIVE_OK) {
    throw LibraryFailure(m->writer, "The folder could not be packed.");
  }
}

FolderPacker::~FolderPacker() = default;

std::size_t FolderPacker::Read(std::span<std::uint8_t> out) {
  // One byte more than asked for is made when there is one, so that End
  // is known as soon as the last byte is read.
  while (!m->finished && m->pending.size() - m->taken <= out.size()) m->Step();
  const std::size_t n = std::min(out.size(), m->pending.size() - m->taken);
  std::copy_n(m->pending.begin() + static_cast<std::ptrdiff_t>(m->taken), n, out.begin());
  m->taken += n;
  if (m->taken >= (1u << 20) || m->taken == m->pending.size()) {
    const std::size_t rest = m->pending.size() - m->taken;
    std::copy(m->pending.begin() + static_cast<std::ptrdiff_t>(m->taken), m->pending.end(), m->pending.begin());
    WipeBytes(std::span<std::uint8_t>(m->pending).subspan(rest));
    m->pending.resize(rest);
    m->taken = 0;
  }
  return n;
}

bool FolderPacker::End() const noexcept { return m->finished && m->taken == m->pending.size(); }
std::uint64_t FolderPacker::Estimate() const noexcept { return m->estimate + 1024; }
const std::vector<std::string>& FolderPacker::LeftOut() const noexcept { return m->leftOut; }

// --- unpacking -------------------------------------------------------------------

struct FolderUnpacker::Impl {
  std::string dest;
  mutable std::mutex mutex;
  std::condition_variable changed;
  ByteArray block;         // handed over, not yet taken
  ByteArray current;       // what libarchive reads now
  bool has = false;        // `block` holds bytes
  bool wants = false;      // the unpacker waits for bytes
  bool end = false;        // no more bytes come
  bool aborted = false;
  bool done = false;
  std::string failure;
  std::vector<std::string> leftOut;
  std::string top;
  std::optional<mode_t> topMode;
  struct timespec topTimes[2] {};
  std::thread thread;

  ~Impl() {
    WipeBytes(block);
    WipeBytes(current);
  }

  static la_ssize_t OnRead(archive*, void* self, const void** data) {
    auto& m = *static_cast<Impl*>(self);
    std::unique_lock lock(m.mutex);
    WipeBytes(m.current);
    m.wants = true;
    m.changed.notify_all();
    m.changed.wait(lock, [&] { return m.has || m.end || m.aborted; });
    m.wants = false;
    if (m.aborted) return ARCHIVE_FATAL;
    if (!m.has) return 0;
    m.current.swap(m.block);
    m.has = false;
    m.changed.notify_all();
    *data = m.current.data();
    return static_cast<la_ssize_t>(m.current.size());
  }

  void LeaveOut(const std::string& name, const std::string& why) {
    std::lock_guard lock(mutex);
    leftOut.push_back(Shown(name) + ": " + why);
  }

  // One entry; false when unpacking cannot go on (`o_failure` says why).
  bool Unpack(archive* reader, archive* disk, archive_entry* entry, std::string& o_failure) {
    const char* raw = Lib().archive_entry_pathname(entry);
    const std::string name = raw ? raw : "";
    if (name.empty()) {
      LeaveOut(name, "it has no name");
      return true;
    }
    if (name.size() > kMaxName) {
      LeaveOut(name, "its name is too long");
      return true;
    }
    if (name.front() == '/') {
      LeaveOut(name, "its name is absolute");
      return true;
    }
    std::vector<std::string> parts = Components(name);
    if (parts.empty() || std::find(parts.begin(), parts.end(), "..") != parts.end()) {
      LeaveOut(name, "its name leads out of the folder");
      return true;
    }
    if (top.empty()) top = parts.front();
    if (parts.front() != top) {
      LeaveOut(name, "it is not inside the folder");
      return true;
    }
    const mode_t type = Lib().archive_entry_filetype(entry);
    if (Lib().archive_entry_hardlink(entry) != nullptr) {
      LeaveOut(name, "it is a hard link");
      return true;
    }
    if (type != AE_IFREG && type != AE_IFDIR && type != AE_IFLNK) {
      LeaveOut(name, "it is a device, a pipe or a socket");
      return true;
    }
    std::string rel;
    for (std::size_t i = 1; i < parts.size(); ++i) rel += (i > 1 ? "/" : "") + parts[i];
    if (rel.empty()) {
      if (type != AE_IFDIR) {
        LeaveOut(name, "the top of the folder is not a folder");
        return true;
      }
      topMode = static_cast<mode_t>(Lib().archive_entry_perm(entry) & 0777);
      topTimes[0] = {Lib().archive_entry_atime(entry), Lib().archive_entry_atime_nsec(entry)};
      topTimes[1] = {Lib().archive_entry_mtime(entry), Lib().archive_entry_mtime_nsec(entry)};
      if (!Lib().archive_entry_atime_is_set(entry)) topTimes[0] = topTimes[1];
      return true;
    }
    if (type == AE_IFLNK) {
      const char* target = Lib().archive_entry_symlink(entry);
      if (target == nullptr || !LinkStaysInside(rel, target)) {
        LeaveOut(name, "it is a link that points outside the folder");
        return true;
      }
    }
    Lib().archive_entry_copy_pathname(entry, (dest + "/" + rel).c_str());
    Lib().archive_entry_set_perm(entry, Lib().archive_entry_perm(entry) & 0777);
    const int header = Lib().archive_write_header(disk, entry);
    if (header == ARCHIVE_FATAL) {
      o_failure = Lib().archive_error_string(disk) ? Lib().archive_error_string(disk) : "";
      return false;
    }
    if (header < ARCHIVE_WARN) {
      const char* why = Lib().archive_error_string(disk);
      LeaveOut(name, why ? why : "it could not be made");
      return true;
    }
    if (type == AE_IFREG) {
      for (;;) {
        const void* data = nullptr;
        size_t size = 0;
        la_int64_t offset = 0;
        const int read = Lib().archive_read_data_block(reader, &data, &size, &offset);
        if (read == ARCHIVE_EOF) break;
        if (read < ARCHIVE_WARN) {
          o_failure = Lib().archive_error_string(reader) ? Lib().archive_error_string(reader) : "";
          return false;
        }
        if (Lib().archive_write_data_block(disk, data, size, offset) < ARCHIVE_WARN) {
          o_failure = Shown(rel) + ": " + (Lib().archive_error_string(disk) ? Lib().archive_error_string(disk) : "");
          return false;
        }
      }
    }
    if (Lib().archive_write_finish_entry(disk) < ARCHIVE_WARN) {
      o_failure = Shown(rel) + ": " + (Lib().archive_error_string(disk) ? Lib().archive_error_string(disk) : "");
      return false;
    }
    return true;
  }

  void Run() noexcept {
    std::string why;
    archive* reader = Lib().archive_read_new();
    archive* disk = Lib().archive_write_disk_new();
    try {
      if (reader == nullptr || disk == nullptr) {
        why = "out of memory";
      } else {
        Lib().archive_read_support_format_tar(reader);
        Lib().archive_write_disk_set_options(disk, kExtractFlags);
        if (Lib().archive_read_open(reader, this, nullptr, &OnRead, nullptr) != ARCHIVE_OK) {
          why = Lib().archive_error_string(reader) ? Lib().archive_error_string(reader) : "";
        }
        while (why.empty()) {
          archive_entry* entry = nullptr;
          const int next = Lib().archive_read_next_header(reader, &entry);
          if (next == ARCHIVE_EOF) break;
          if (next < ARCHIVE_WARN) {
            why = Lib().archive_error_string(reader) ? Lib().archive_error_string(reader) : "it is not a folder";
            break;
          }
          if (!Unpack(reader, disk, entry, why) && why.empty()) why = "a write failed";
        }
        // Folders get their permissions and times once their content is in.
        if (why.empty() && Lib().archive_write_close(disk) != ARCHIVE_OK) {
          why = Lib().archive_error_string(disk) ? Lib().archive_error_string(disk) : "";
        }
        if (why.empty() && topMode) {
          ::chmod(dest.c_str(), *topMode);
          ::utimensat(AT_FDCWD, dest.c_str(), topTimes, 0);
        }
      }
    } catch (...) {
      why = platform::CurrentRuntimeError().Description();
    }
    if (reader != nullptr) Lib().archive_read_free(reader);
    if (disk != nullptr) Lib().archive_write_free(disk);
    std::lock_guard lock(mutex);
    failure = why;
    done = true;
    changed.notify_all();
  }

  [[noreturn]] void Throw() const {
    throw RuntimeError(platform::rt::kInvalidCall, "The folder in the encrypted file cannot be unpacked: " +
                                                       (failure.empty() ? std::string("it is damaged") : failure) +
                                                       ".");
  }
};

FolderUnpacker::FolderUnpacker(const std::string& folder) : m(std::make_unique<Impl>()) {
  LoadLibArchive();
  m->dest = folder;
  m->thread = std::thread([impl = m.get()] { impl->Run(); });
}

FolderUnpacker::~FolderUnpacker() { Abort(); }

void FolderUnpacker::Put(std::span<const std::uint8_t> data) {
  if (data.empty()) return;
  std::unique_lock lock(m->mutex);
  if (m->done) {
    // The stream's end marker was met: what follows is padding.
    if (!m->failure.empty()) m->Throw();
    return;
  }
  m->block.assign(data.begin(), data.end());
  m->has = true;
  m->changed.notify_all();
  // In step with the unpacker: it has taken these bytes and asks for more.
  m->changed.wait(lock, [&] { return (!m->has && m->wants) || m->done; });
  if (m->done && !m->failure.empty()) m->Throw();
}

void FolderUnpacker::Finish() {
  {
    std::unique_lock lock(m->mutex);
    m->end = true;
    m->changed.notify_all();
    m->changed.wait(lock, [&] { return m->done; });
  }
  if (m->thread.joinable()) m->thread.join();
  if (!m->failure.empty()) m->Throw();
}

void FolderUnpacker::Abort() noexcept {
  {
    std::lock_guard lock(m->mutex);
    m->aborted = true;
    m->changed.notify_all();
  }
  if (m->thread.joinable()) m->thread.join();
}

std::vector<std::string> FolderUnpacker::LeftOut() const {
  std::lock_guard lock(m->mutex);
  return m->leftOut;
}

}  // namespace sealvane
