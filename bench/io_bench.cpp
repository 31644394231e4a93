// Sequential reads of a 100 MB file through the buffered native file, in
// 4-byte, 4 KiB and 1 MiB requests, each beside a raw ReadFile loop with the
// same request size measured in the same run, so the ratio means something on
// a noisy machine. A last line gives the buffered file's ceiling: overlapped
// reads of one buffer's size, which is what its refills are. Each figure is
// the best of a few passes over a file the system has already cached: the
// cost measured is the path's, not the disk's.
#include "bench/bench_clock.h"
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/abort_signal.h"
#include "io/native_file.h"
#include "io/read_ahead_file.h"

namespace {

constexpr std::uint32_t file_size = 100 * 1000 * 1000;
constexpr int passes = 3;

using bench::now_seconds;

std::wstring bench_file_path() {
  wchar_t folder[MAX_PATH + 1];
  GetTempPathW(MAX_PATH + 1, folder);
  return std::wstring(folder) + L"zorv-io-bench-" + std::to_wstring(GetCurrentProcessId()) + L".bin";
}

bool create_bench_file(const std::wstring& path) {
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  std::vector<std::uint8_t> block(1 << 20);
  std::uint32_t seed = 12345;
  bool ok = true;
  for (std::uint32_t written = 0; ok && written < file_size;) {
    for (std::uint8_t& byte : block) byte = static_cast<std::uint8_t>((seed = seed * 1664525u + 1013904223u) >> 24);
    const DWORD piece = std::min<std::uint32_t>(block.size(), file_size - written);
    DWORD done = 0;
    ok = WriteFile(file, block.data(), piece, &done, nullptr) && done == piece;
    written += piece;
  }
  CloseHandle(file);
  return ok;
}

// Folds the bytes read into a sum, so the reads cannot be optimised away and
// both paths can be checked to read the same data. Whole 32-bit words at a
// time: the fold must cost far less than the reading it checks.
std::uint32_t fold(const std::uint8_t* bytes, std::uint32_t count, std::uint32_t sum) {
  std::uint32_t i = 0;
  for (; i + 4 <= count; i += 4) {
    std::uint32_t word;
    std::memcpy(&word, bytes + i, 4);
    sum += word;
  }
  for (; i < count; ++i) sum += bytes[i];
  return sum;
}

struct result {
  double seconds = 1e30;
  std::uint32_t checksum = 0;
  std::uint64_t bytes = 0;
};

// The peer: plain synchronous ReadFile calls of the request size.
result raw_read(const std::wstring& path, std::uint32_t request) {
  result best;
  std::vector<std::uint8_t> buffer(request);
  for (int pass = 0; pass < passes; ++pass) {
    const HANDLE file =
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return best;
    const double start = now_seconds();
    std::uint32_t sum = 0;
    std::uint64_t total = 0;
    DWORD got = 0;
    while (ReadFile(file, buffer.data(), request, &got, nullptr) && got > 0) {
      sum = fold(buffer.data(), got, sum);
      total += got;
    }
    const double seconds = now_seconds() - start;
    CloseHandle(file);
    best.seconds = std::min(best.seconds, seconds);
    best.checksum = sum;
    best.bytes = total;
  }
  return best;
}

// What the buffer's own refills cost: overlapped reads of one buffer size,
// waited for on the request's event, as the native file makes them.
result overlapped_read(const std::wstring& path, std::uint32_t request) {
  result best;
  std::vector<std::uint8_t> buffer(request);
  for (int pass = 0; pass < passes; ++pass) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OVERLAPPED, nullptr);
    if (file == INVALID_HANDLE_VALUE) return best;
    const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const double start = now_seconds();
    std::uint32_t sum = 0;
    std::uint64_t total = 0;
    for (;;) {
      OVERLAPPED request_record = {};
      request_record.Offset = static_cast<DWORD>(total);
      request_record.OffsetHigh = static_cast<DWORD>(total >> 32);
      request_record.hEvent = event;
      ResetEvent(event);
      DWORD got = 0;
      if (!ReadFile(file, buffer.data(), request, nullptr, &request_record) && GetLastError() != ERROR_IO_PENDING)
        break;
      if (!GetOverlappedResult(file, &request_record, &got, TRUE) || got == 0) break;
      sum = fold(buffer.data(), got, sum);
      total += got;
    }
    const double seconds = now_seconds() - start;
    CloseHandle(event);
    CloseHandle(file);
    best.seconds = std::min(best.seconds, seconds);
    best.checksum = sum;
    best.bytes = total;
  }
  return best;
}

// The system's own path: an overlapped native file behind the 64 KiB
// read-ahead buffer, as every open of a "file://" path hands it out.
result buffered_read(const std::wstring& path, std::uint32_t request) {
  result best;
  std::vector<std::uint8_t> buffer(request);
  const abort_signal& abort = never_raised_abort_signal();
  for (int pass = 0; pass < passes; ++pass) {
    const HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return best;
    vantrel_io::file_ptr file;
    vantrel_io::buffered_file(file, vantrel_io::make_native_file(handle, false), vantrel_io::native_read_buffer,
                              abort);
    const double start = now_seconds();
    std::uint32_t sum = 0;
    std::uint64_t total = 0;
    while (const std::uint32_t got = file->read(buffer.data(), request, abort)) {
      sum = fold(buffer.data(), got, sum);
      total += got;
    }
    const double seconds = now_seconds() - start;
    best.seconds = std::min(best.seconds, seconds);
    best.checksum = sum;
    best.bytes = total;
  }
  return best;
}

std::string request_name(std::uint32_t request) {
  if (request >= (1u << 20)) return std::to_string(request >> 20) + " MiB";
  if (request >= 1024) return std::to_string(request >> 10) + " KiB";
  return std::to_string(request) + " B";
}

}  // namespace

int main() {
  const std::wstring path = bench_file_path();
  if (!create_bench_file(path)) {
    std::printf("cannot create the 100 MB bench file\n");
    return 1;
  }
  int status = 0;
  try {
    // One untimed read puts the whole file in the system's cache.
    raw_read(path, 1 << 20);
    for (const std::uint32_t request : {4u, 4096u, 1u << 20}) {
      const result raw = raw_read(path, request);
      const result buffered = buffered_read(path, request);
      if (raw.bytes != file_size || buffered.bytes != file_size || raw.checksum != buffered.checksum) {
        std::printf("%-7s requests: the two paths read different data\n", request_name(request).c_str());
        status = 1;
        continue;
      }
      const double mb = file_size / 1e6;
      std::printf("%-7s requests: buffered file %8.1f MB/s, raw ReadFile %8.1f MB/s, ratio %.2f\n",
                  request_name(request).c_str(), mb / buffered.seconds, mb / raw.seconds,
                  raw.seconds / buffered.seconds);
    }
    const result refills = overlapped_read(path, vantrel_io::native_read_buffer);
    std::printf("ceiling of the buffered file: overlapped ReadFile in %s pieces %8.1f MB/s\n",
                request_name(vantrel_io::native_read_buffer).c_str(), file_size / 1e6 / refills.seconds);
  } catch (const std::exception& e) {
    std::printf("failed: %s\n", e.what());
    status = 1;
  }
  DeleteFileW(path.c_str());
  return status;
}
