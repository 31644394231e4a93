// Throughput of the foundation's hot text paths, each printed beside a peer
// measured in the same run, so the ratio means something on a noisy machine.
#include "bench/bench_clock.h"
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include <windows.h>
#include <shlwapi.h>

#include "foundation/case_folding.h"
#include "foundation/cpu_count.h"
#include "foundation/sort_by_text_parallel.h"

namespace {

using bench::now_seconds;

std::string to_utf8(const std::wstring& text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), size, nullptr, nullptr);
  out.resize(static_cast<std::size_t>(size) - 1);
  return out;
}

// Titles as a mixed collection holds them: Cyrillic and CJK words in both
// cases, many sharing long prefixes so that compares run deep.
std::vector<std::wstring> mixed_titles(std::size_t count, unsigned seed) {
  static const wchar_t* const words[] = {
      L"\u041F\u0435\u0441\u043D\u044F",  // Песня
      L"\u041F\u0415\u0421\u041D\u042F",  // ПЕСНЯ
      L"\u0417\u0432\u0435\u0437\u0434\u0430",  // Звезда
      L"\u043B\u044E\u0431\u043E\u0432\u044C",  // любовь
      L"\u97F3\u697D",                     // 音楽
      L"\u6771\u4EAC\u306E\u591C",         // 東京の夜
      L"\uC0AC\uB791",                     // 사랑
      L"Live", L"LIVE", L"remix"};
  std::mt19937 random(seed);
  std::vector<std::wstring> titles;
  for (std::size_t i = 0; i < count; ++i) {
    std::wstring title;
    const int word_count = 2 + static_cast<int>(random() % 4);
    for (int w = 0; w < word_count; ++w) {
      if (w) title += L' ';
      title += words[random() % std::size(words)];
    }
    title += L' ';
    title += std::to_wstring(random() % 100);
    titles.push_back(title);
  }
  return titles;
}

template <class Compare>
double compares_per_second(std::size_t count, Compare compare) {
  volatile int sink = 0;
  std::size_t done = 0;
  const double start = now_seconds();
  double elapsed = 0;
  do {
    for (std::size_t i = 0; i + 1 < count; ++i) sink = sink + compare(i, i + 1);
    done += count - 1;
    elapsed = now_seconds() - start;
  } while (elapsed < 1.0);
  return static_cast<double>(done) / elapsed;
}

void bench_compare_nocase() {
  const std::vector<std::wstring> wide = mixed_titles(4000, 1);
  std::vector<std::string> utf8;
  for (const auto& title : wide) utf8.push_back(to_utf8(title));

  const double ours = compares_per_second(utf8.size(), [&](std::size_t a, std::size_t b) {
    return qiv::compare_nocase(utf8[a].c_str(), utf8[b].c_str());
  });
  const double system_ordinal = compares_per_second(wide.size(), [&](std::size_t a, std::size_t b) {
    return CompareStringOrdinal(wide[a].c_str(), -1, wide[b].c_str(), -1, TRUE);
  });
  const double system_locale = compares_per_second(wide.size(), [&](std::size_t a, std::size_t b) {
    return lstrcmpiW(wide[a].c_str(), wide[b].c_str());
  });
  std::printf("compare_nocase (UTF-8, Cyrillic/CJK): %.0f compares/s\n", ours);
  std::printf("CompareStringOrdinal ignore case (UTF-16, same text): %.0f compares/s (ratio %.2f)\n", system_ordinal,
              ours / system_ordinal);
  std::printf("lstrcmpiW (UTF-16, same text): %.0f compares/s (ratio %.2f)\n", system_locale, ours / system_locale);
}

// Latin titles as most collections hold them, for comparison with the mixed
// scripts above.
std::vector<std::wstring> latin_titles(std::size_t count, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<std::wstring> titles;
  for (std::size_t i = 0; i < count; ++i)
    titles.push_back(L"Artist " + std::to_wstring(random() % 300) + L" - Album " + std::to_wstring(random() % 20) +
                     L" - " + std::to_wstring(random() % 15) + L". Title " + std::to_wstring(random() % 1000));
  return titles;
}

// The key worker of the library views formats a UTF-8 text per track and
// converts it to UTF-16; this does the same work from stored UTF-8 titles.
class utf8_keys {
public:
  explicit utf8_keys(const std::vector<std::wstring>& titles) {
    for (const auto& title : titles) utf8_.push_back(to_utf8(title));
  }

  void operator()(std::uint32_t i, std::wstring& key) const {
    const std::string& text = utf8_[i];
    const int units = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    key.resize(static_cast<std::size_t>(units));
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), key.data(), units);
  }

private:
  std::vector<std::string> utf8_;
};

double sort_ms(const std::vector<std::wstring>& titles, std::uint32_t workers, std::vector<std::uint32_t>& order) {
  const utf8_keys key_of(titles);
  order.assign(titles.size(), 0);
  const double start = now_seconds();
  qiv::sort_by_text_with_workers(order, std::cref(key_of), workers);
  return (now_seconds() - start) * 1000;
}

void bench_sort_by_text() {
  const std::size_t count = 100000;
  const std::uint32_t workers = qiv::cpu_count();
  std::vector<std::uint32_t> order;

  const std::vector<std::wstring> latin = latin_titles(count, 3);
  for (std::uint32_t w : {1u, workers})
    std::printf("sort_by_text_parallel, %zu Latin keys, %u worker(s): %.0f ms (budget 1000 ms)\n", count, w,
                sort_ms(latin, w, order));

  const std::vector<std::wstring> mixed = mixed_titles(count, 2);
  for (std::uint32_t w : {1u, workers})
    std::printf("sort_by_text_parallel, %zu Cyrillic/CJK keys, %u worker(s): %.0f ms (budget 1000 ms)\n", count, w,
                sort_ms(mixed, w, order));

  // Peer: the system's natural compare alone, in the standard library's
  // stable sort, over the same keys.
  std::vector<std::uint32_t> peer(count);
  std::iota(peer.begin(), peer.end(), 0u);
  const double start = now_seconds();
  std::stable_sort(peer.begin(), peer.end(), [&](std::uint32_t a, std::uint32_t b) {
    return StrCmpLogicalW(mixed[a].c_str(), mixed[b].c_str()) < 0;
  });
  std::printf("std::stable_sort with StrCmpLogicalW alone, %zu Cyrillic/CJK keys: %.0f ms (orders agree: %s)\n", count,
              (now_seconds() - start) * 1000, order == peer ? "yes" : "NO");
}

} // namespace

int main() {
  bench_compare_nocase();
  bench_sort_by_text();
  return 0;
}
