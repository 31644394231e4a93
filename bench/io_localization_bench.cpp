// Start-up cost of the language: parsing the English table, and reading a
// 1 MiB override file (the largest accepted), each beside a raw read of the
// same bytes in the same run. The override must load in under 50 ms.
//   tools/wine-exec BUILD_DIR BUILD_DIR/bench/bench_io_localization.exe
#include "bench/bench_clock.h"
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "io/localization.h"

namespace {

using bench::now_seconds;

// The best of several runs, in milliseconds.
template <class Work>
double best_ms(int runs, Work work) {
  double best = 1e9;
  for (int i = 0; i < runs; ++i) {
    const double start = now_seconds();
    work();
    best = std::min(best, (now_seconds() - start) * 1000.0);
  }
  return best;
}

std::string read_whole(const std::wstring& path) {
  std::string content;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return content;
  content.resize(GetFileSize(file, nullptr));
  DWORD read = 0;
  ReadFile(file, content.data(), static_cast<DWORD>(content.size()), &read, nullptr);
  content.resize(read);
  CloseHandle(file);
  return content;
}

void write_whole(const std::wstring& path, const std::string& content) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
  CloseHandle(file);
}

// The English table of the source tree, found from this file's own path.
std::wstring english_table_path() {
  std::string path = std::string("Z:") + __FILE__;
  path = path.substr(0, path.find_last_of('/')) + "/../resources/lang/en.xml";
  std::wstring wide(path.begin(), path.end());
  std::replace(wide.begin(), wide.end(), L'/', L'\\');
  return wide;
}

// Entries with entities and a long multi-byte text until the size limit.
std::string synthetic_override() {
  std::string document = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<localization name=\"Bench\">\n";
  const std::string tail = "</localization>\n";
  for (int i = 0; document.size() < localization_override_max_size - 200; ++i) {
    document += "\t<entry id=\"bench_id_" + std::to_string(i) +
                "\" text=\"Fen\xC3\xAAtre &amp; \xE9\x9F\xB3\xE6\xA5\xBD &#8230; {value} n\xC2\xB0" + std::to_string(i) +
                "\"/>\n";
  }
  document.append(localization_override_max_size - document.size() - tail.size(), '\n');
  return document + tail;
}

}  // namespace

int main() {
  const std::string english = read_whole(english_table_path());
  if (english.empty()) {
    std::printf("English table not found\n");
    return 1;
  }
  const double english_ms = best_ms(20, [&] {
    localization_loader loader;
    localization_parse(loader, english.data(), english.size());
  });
  std::printf("English table (%u bytes): parse %.3f ms\n", static_cast<unsigned>(english.size()), english_ms);

  wchar_t folder[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  const std::wstring path = std::wstring(folder) + L"zorv-language-bench.xml";
  const std::string document = synthetic_override();
  write_whole(path, document);
  char utf8_path[MAX_PATH * 3];
  WideCharToMultiByte(CP_UTF8, 0, path.c_str(), -1, utf8_path, sizeof utf8_path, nullptr, nullptr);

  bool loaded = false;
  std::uint32_t entries = 0;
  const double override_ms = best_ms(5, [&] {
    localization_loader loader;
    loaded = localization_load_override_file(loader, utf8_path);
    entries = loader.table.count();
  });
  const double raw_ms = best_ms(5, [&] { read_whole(path); });
  DeleteFileW(path.c_str());

  std::printf("Override of %u bytes (%u entries): load %.3f ms, raw read %.3f ms, budget 50 ms\n",
              static_cast<unsigned>(document.size()), entries, override_ms, raw_ms);
  if (!loaded) {
    std::printf("the override was refused\n");
    return 1;
  }
  return override_ms < 50.0 ? 0 : 1;
}
