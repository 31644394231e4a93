#include "support/debug_output_monitor.h"

#include <chrono>
#include <cstring>
#include <thread>

namespace test_support {
namespace {

// The test's own texts that show that every earlier text has been read.
constexpr char marker_prefix[] = "\x01zorv-test-monitor-marker ";

}  // namespace

debug_output_monitor& debug_output_monitor::instance() {
  static debug_output_monitor monitor;
  return monitor;
}

debug_output_monitor::debug_output_monitor() {
  HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, L"DBWIN_BUFFER");
  buffer_ = mapping ? static_cast<const char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0)) : nullptr;
  buffer_ready_ = CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_BUFFER_READY");
  data_ready_ = CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY");
  if (buffer_ == nullptr || buffer_ready_ == nullptr || data_ready_ == nullptr) return;
  std::thread([this] { receive(); }).detach();
}

void debug_output_monitor::receive() {
  for (;;) {
    SetEvent(buffer_ready_);
    if (WaitForSingleObject(data_ready_, INFINITE) != WAIT_OBJECT_0) return;
    DWORD pid;
    std::memcpy(&pid, buffer_, sizeof pid);
    const char* text = buffer_ + sizeof pid;
    const std::lock_guard lock(mutex_);
    if (pid == GetCurrentProcessId() && std::strncmp(text, marker_prefix, sizeof marker_prefix - 1) == 0) {
      ++markers_seen_;
      received_.notify_all();
    } else {
      texts_[pid] += text;
    }
  }
}

std::string debug_output_monitor::take(DWORD pid) {
  if (buffer_ == nullptr) return "the debug output monitor could not start";
  // Writers take turns at the buffer: once this marker is read, so is
  // everything written before it.
  std::unique_lock lock(mutex_);
  const std::uint64_t marker = ++markers_sent_;
  lock.unlock();
  OutputDebugStringA((marker_prefix + std::to_string(marker)).c_str());
  lock.lock();
  received_.wait_for(lock, std::chrono::seconds(20), [&] { return markers_seen_ >= marker; });
  std::string text = std::move(texts_[pid]);
  texts_.erase(pid);
  return text;
}

}  // namespace test_support
