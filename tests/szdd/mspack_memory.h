// An in-memory mspack_system for libmspack: the "file names" passed to libmspack are pointers to
// MemoryFile records, so containers expand from and to memory without touching the disk.
#pragma once

#include <mspack.h>

#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

namespace szdd_test {

struct MemoryFile {
  std::span<const std::uint8_t> input;  // read from when `output` is null
  std::vector<std::uint8_t>* output = nullptr;
  std::size_t position = 0;
};

namespace mspack_memory_detail {

struct Handle {
  MemoryFile* file;
};

inline mspack_file* Open(mspack_system*, const char* name, int) {
  // The name is the address of a MemoryFile, as the caller passed it.
  auto* file = reinterpret_cast<MemoryFile*>(const_cast<char*>(name));
  file->position = 0;
  if (file->output) file->output->clear();
  return reinterpret_cast<mspack_file*>(new Handle{file});
}
inline void Close(mspack_file* f) {
  delete reinterpret_cast<Handle*>(f);
}
inline int Read(mspack_file* f, void* buffer, int bytes) {
  MemoryFile* file = reinterpret_cast<Handle*>(f)->file;
  if (bytes < 0) return -1;
  const std::size_t left = file->input.size() - file->position;
  const std::size_t n = std::min(left, static_cast<std::size_t>(bytes));
  if (n) std::memcpy(buffer, file->input.data() + file->position, n);
  file->position += n;
  return static_cast<int>(n);
}
inline int Write(mspack_file* f, void* buffer, int bytes) {
  MemoryFile* file = reinterpret_cast<Handle*>(f)->file;
  if (bytes < 0 || !file->output) return -1;
  const auto* p = static_cast<const std::uint8_t*>(buffer);
  file->output->insert(file->output->end(), p, p + bytes);
  return bytes;
}
inline int Seek(mspack_file* f, off_t offset, int mode) {
  MemoryFile* file = reinterpret_cast<Handle*>(f)->file;
  const auto size = static_cast<off_t>(file->output ? file->output->size() : file->input.size());
  off_t base = 0;
  if (mode == MSPACK_SYS_SEEK_CUR) base = static_cast<off_t>(file->position);
  if (mode == MSPACK_SYS_SEEK_END) base = size;
  const off_t target = base + offset;
  if (target < 0 || target > size) return -1;
  file->position = static_cast<std::size_t>(target);
  return 0;
}
inline off_t Tell(mspack_file* f) {
  return static_cast<off_t>(reinterpret_cast<Handle*>(f)->file->position);
}
inline void Message(mspack_file*, const char*, ...) {}
inline void* Alloc(mspack_system*, std::size_t bytes) {
  return std::malloc(bytes);
}
inline void Free(void* p) {
  std::free(p);
}
inline void Copy(void* src, void* dest, std::size_t bytes) {
  std::memmove(dest, src, bytes);
}

}  // namespace mspack_memory_detail

inline mspack_system* MemorySystem() {
  namespace d = mspack_memory_detail;
  static mspack_system system = {d::Open,    d::Close, d::Read, d::Write, d::Seek, d::Tell,
                                 d::Message, d::Alloc, d::Free, d::Copy,  nullptr};
  return &system;
}

// Expands `container` with libmspack's SZDD decompressor; false when libmspack reports an error.
class MspackExpander {
 public:
  MspackExpander() {
    int selftest = 0;
    MSPACK_SYS_SELFTEST(selftest);
    if (selftest == MSPACK_ERR_OK) decoder_ = mspack_create_szdd_decompressor(MemorySystem());
  }
  ~MspackExpander() {
    if (decoder_) mspack_destroy_szdd_decompressor(decoder_);
  }
  MspackExpander(const MspackExpander&) = delete;
  MspackExpander& operator=(const MspackExpander&) = delete;

  bool ready() const { return decoder_ != nullptr; }

  bool Expand(std::span<const std::uint8_t> container, std::vector<std::uint8_t>& out) {
    MemoryFile in{container, nullptr, 0};
    MemoryFile result{{}, &out, 0};
    return decoder_->decompress(decoder_, reinterpret_cast<const char*>(&in),
                                reinterpret_cast<const char*>(&result)) == MSPACK_ERR_OK;
  }

 private:
  msszdd_decompressor* decoder_ = nullptr;
};

}  // namespace szdd_test
