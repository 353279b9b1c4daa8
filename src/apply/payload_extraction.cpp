#include "apply/payload_extraction.h"

#include <cstdint>
#include <cstdlib>

#include "apply/temp_workspace.h"
#include "common/unique_handle.h"

namespace glimra {
namespace {

using plat::DWORD;
using plat::HRESULT;

HRESULT LastErrorAsHresult(plat::Platform& platform) {
  return plat::HRESULT_FROM_WIN32(platform.processes.GetLastError());
}

const szdd::PayloadDigest* FindDigest(std::span<const szdd::PayloadDigest> digests,
                                      plat::WORD resourceId) {
  for (const szdd::PayloadDigest& digest : digests) {
    if (digest.resourceId == resourceId) return &digest;
  }
  return nullptr;
}

// Reads the open file from its start and compares it with the recorded length and hash.
bool MatchesRecord(plat::Platform& platform, plat::HANDLE file, const szdd::PayloadDigest& digest) {
  if (platform.files.SetFilePointer(file, 0, nullptr, plat::FILE_BEGIN) != 0) return false;
  szdd::Sha256 hash;
  std::vector<std::uint8_t> chunk(64 * 1024);
  std::uint64_t total = 0;
  for (;;) {
    DWORD got = 0;
    if (!platform.files.ReadFile(file, chunk.data(), static_cast<DWORD>(chunk.size()), &got,
                                 nullptr)) {
      return false;
    }
    if (got == 0) break;
    total += got;
    if (total > digest.expandedLength) return false;
    hash.Update(std::span<const std::uint8_t>(chunk.data(), got));
  }
  return total == digest.expandedLength && hash.Final() == digest.sha256;
}

// Expands the compressed copy into the expanded file; the LZ functions' count, or a negative
// value when an open or the copy failed.
plat::LONG Expand(plat::Platform& platform, const std::u16string& compressed,
                  const std::u16string& expanded) {
  plat::OFSTRUCT sourceRecord{};
  plat::OFSTRUCT destinationRecord{};
  sourceRecord.cBytes = sizeof sourceRecord;
  destinationRecord.cBytes = sizeof destinationRecord;
  const int source = platform.lz.LZOpenFileW(compressed.c_str(), &sourceRecord,
                                             plat::OF_READ | plat::OF_SHARE_EXCLUSIVE);
  const int destination =
      platform.lz.LZOpenFileW(expanded.c_str(), &destinationRecord,
                              plat::OF_CREATE | plat::OF_WRITE | plat::OF_SHARE_EXCLUSIVE);
  if (source < 0 || destination < 0) {
    if (source >= 0) platform.lz.LZClose(source);
    if (destination >= 0) platform.lz.LZClose(destination);
    return plat::LZERROR_BADINHANDLE;
  }
  const plat::LONG copied = platform.lz.LZCopy(source, destination);
  platform.lz.LZClose(source);
  platform.lz.LZClose(destination);
  return copied;
}

// Checks the expanded file against its record and stamps its times. Stamping failures are
// ignored; a file that cannot be checked or does not match fails.
HRESULT CheckAndStamp(plat::Platform& platform, const std::u16string& expanded,
                      const szdd::PayloadDigest& digest, const PatchTimestamp& stamp) {
  FileHandle file(
      platform.processes,
      platform.files.CreateFileW(expanded.c_str(), plat::GENERIC_READ | plat::GENERIC_WRITE,
                                 /*shareMode=*/0, /*securityAttributes=*/nullptr,
                                 plat::OPEN_EXISTING, plat::FILE_ATTRIBUTE_NORMAL,
                                 /*templateFile=*/nullptr));
  if (!file) return LastErrorAsHresult(platform);
  if (!MatchesRecord(platform, file.get(), digest)) return kPayloadNotExpanded;
  const plat::SYSTEMTIME time{stamp.year, stamp.month,  /*wDayOfWeek=*/0, stamp.day,
                              stamp.hour, stamp.minute, stamp.second,     stamp.millisecond};
  plat::FILETIME fileTime{};
  if (platform.clock.SystemTimeToFileTime(&time, &fileTime)) {
    platform.files.SetFileTime(file.get(), &fileTime, &fileTime, &fileTime);
  }
  return plat::S_OK;
}

}  // namespace

HRESULT ExtractPayload(plat::Platform& platform, const std::u16string& workspace,
                       const PatchEntry& item, plat::HMODULE module, std::u16string& expandedPath,
                       std::span<const szdd::PayloadDigest> digests) {
  expandedPath.clear();
  const auto resourceId =
      static_cast<plat::WORD>(std::llabs(static_cast<long long>(item.resourceId)));
  plat::HRSRC resource =
      platform.resources.FindResourceW(module, plat::MakeIntResourceW(resourceId), u"PATCH");
  if (resource == nullptr) return LastErrorAsHresult(platform);

  const std::u16string fileName = platform.files.PathFindFileNameW(item.target.c_str());
  const DWORD size = platform.resources.SizeofResource(module, resource);
  plat::HGLOBAL loaded = platform.resources.LoadResource(module, resource);
  if (loaded == nullptr) return LastErrorAsHresult(platform);
  const void* bytes = platform.resources.LockResource(loaded);
  if (bytes == nullptr) return LastErrorAsHresult(platform);

  const std::u16string compressed = ToLongPath(workspace + fileName + u".tmp");
  const std::u16string expanded = ToLongPath(workspace + fileName);

  HRESULT result = plat::S_OK;
  {
    FileHandle copy(
        platform.processes,
        platform.files.CreateFileW(compressed.c_str(), plat::GENERIC_READ | plat::GENERIC_WRITE,
                                   /*shareMode=*/0, /*securityAttributes=*/nullptr,
                                   plat::CREATE_ALWAYS, /*flagsAndAttributes=*/0,
                                   /*templateFile=*/nullptr));
    if (!copy) return LastErrorAsHresult(platform);
    platform.files.SetFilePointer(copy.get(), 0, nullptr, plat::FILE_BEGIN);
    platform.files.SetEndOfFile(copy.get());
    DWORD written = 0;
    if (!platform.files.WriteFile(copy.get(), bytes, size, &written, nullptr)) {
      result = LastErrorAsHresult(platform);
      if (result >= 0) result = kPayloadNotExpanded;  // a failure without an error code
    } else if (written != size) {
      // A short copy would expand to a short file without any complaint.
      result = kPayloadNotExpanded;
    }
  }

  if (result >= 0) {
    const szdd::PayloadDigest* digest = FindDigest(digests, resourceId);
    const plat::LONG copied = Expand(platform, compressed, expanded);
    if (copied < 0) {
      result = kPayloadNotExpanded;
    } else if (digest == nullptr || static_cast<std::uint64_t>(copied) != digest->expandedLength) {
      result = kPayloadNotExpanded;
      platform.files.DeleteFileW(expanded.c_str());
    } else {
      result = CheckAndStamp(platform, expanded, *digest, item.timestamp);
      if (result < 0) platform.files.DeleteFileW(expanded.c_str());
    }
  }
  if (result >= 0) expandedPath = expanded;

  platform.files.DeleteFileW(compressed.c_str());
  return result;
}

}  // namespace glimra
