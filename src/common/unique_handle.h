// One owning holder for the handles the program obtains from the platform. Each kind of handle is
// one traits struct: the service that releases it, its empty value and the release call. Closing
// needs the platform, so the holder keeps a pointer to the service next to the handle.
#pragma once

#include <utility>

#include "platform/processes.h"
#include "platform/system.h"
#include "platform/types.h"

namespace glimra {

template <typename Traits>
class UniqueHandle {
 public:
  using Service = typename Traits::Service;
  using Handle = typename Traits::Handle;

  explicit UniqueHandle(Service& service) : service_(&service), handle_(Traits::Empty()) {}
  UniqueHandle(Service& service, Handle handle) : service_(&service), handle_(handle) {}
  ~UniqueHandle() { reset(); }

  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept
      : service_(other.service_), handle_(std::exchange(other.handle_, Traits::Empty())) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) {
      reset();
      service_ = other.service_;
      handle_ = std::exchange(other.handle_, Traits::Empty());
    }
    return *this;
  }

  Handle get() const { return handle_; }
  bool valid() const { return handle_ != Traits::Empty(); }
  explicit operator bool() const { return valid(); }

  // Releases the handle held (if any), ignoring the outcome, and holds `handle` instead.
  void reset(Handle handle = Traits::Empty()) {
    if (valid()) Traits::Close(*service_, handle_);
    handle_ = handle;
  }
  // Gives up ownership without releasing.
  Handle release() { return std::exchange(handle_, Traits::Empty()); }

 private:
  Service* service_;
  Handle handle_;
};

// Kernel handles whose failure value is null (mutex, token).
struct KernelHandleTraits {
  using Service = plat::Processes;
  using Handle = plat::HANDLE;
  static Handle Empty() { return nullptr; }
  static void Close(Service& service, Handle handle) { service.CloseHandle(handle); }
};

// Kernel handles whose failure value is INVALID_HANDLE_VALUE (process snapshots, files).
struct FileHandleTraits {
  using Service = plat::Processes;
  using Handle = plat::HANDLE;
  static Handle Empty() { return plat::InvalidHandleValue(); }
  static void Close(Service& service, Handle handle) { service.CloseHandle(handle); }
};

// SIDs from AllocateAndInitializeSid.
struct SidTraits {
  using Service = plat::System;
  using Handle = plat::PSID;
  static Handle Empty() { return nullptr; }
  static void Close(Service& service, Handle handle) { service.FreeSid(handle); }
};

// Memory from GlobalAlloc.
struct GlobalMemoryTraits {
  using Service = plat::System;
  using Handle = plat::HGLOBAL;
  static Handle Empty() { return nullptr; }
  static void Close(Service& service, Handle handle) { service.GlobalFree(handle); }
};

// A lock taken with GlobalLock; the handle is the locked memory block, released by GlobalUnlock.
struct GlobalLockTraits {
  using Service = plat::System;
  using Handle = plat::HGLOBAL;
  static Handle Empty() { return nullptr; }
  static void Close(Service& service, Handle handle) { service.GlobalUnlock(handle); }
};

using KernelHandle = UniqueHandle<KernelHandleTraits>;
using FileHandle = UniqueHandle<FileHandleTraits>;
using UniqueSid = UniqueHandle<SidTraits>;
using GlobalMemory = UniqueHandle<GlobalMemoryTraits>;
using GlobalMemoryLock = UniqueHandle<GlobalLockTraits>;

}  // namespace glimra
