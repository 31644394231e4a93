#include "foundation/sort_by_text_parallel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <numeric>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include <windows.h>
#include <shlwapi.h>

namespace {

std::vector<std::uint32_t> order_of(const std::vector<std::wstring>& keys, std::uint32_t workers) {
  std::vector<std::uint32_t> order(keys.size(), 0xDEADBEEF);
  qiv::sort_by_text_with_workers(order, [&](std::uint32_t i, std::wstring& key) { key = keys[i]; }, workers);
  return order;
}

// The order the sort must produce: natural text order, ties by list index.
std::vector<std::uint32_t> reference_order(const std::vector<std::wstring>& keys) {
  std::vector<std::uint32_t> order(keys.size());
  std::iota(order.begin(), order.end(), 0u);
  std::stable_sort(order.begin(), order.end(),
                   [&](std::uint32_t a, std::uint32_t b) { return StrCmpLogicalW(keys[a].c_str(), keys[b].c_str()) < 0; });
  return order;
}

std::vector<std::wstring> random_titles(std::size_t count, unsigned seed) {
  static const wchar_t* const words[] = {L"track", L"Track", L"Ärger", L"zebra", L"Zebra", L"Привет", L"音楽", L"a", L""};
  std::mt19937 random(seed);
  std::vector<std::wstring> keys;
  for (std::size_t i = 0; i < count; ++i)
    keys.push_back(std::wstring(words[random() % std::size(words)]) + std::to_wstring(random() % 40));
  return keys;
}

TEST(SortByTextParallel, OrdersByNaturalTextOrderIgnoringCase) {
  const std::vector<std::wstring> keys{L"track10", L"Track2", L"track1", L"Album 9", L"album 10"};
  EXPECT_EQ(order_of(keys, 1), (std::vector<std::uint32_t>{3, 4, 2, 1, 0}));
}

TEST(SortByTextParallel, EqualKeysKeepTheListOrder) {
  const std::vector<std::wstring> keys{L"b", L"A", L"a", L"B", L"a", L"b"};
  // "A" and "a" compare equal in the natural order, so the list order decides.
  EXPECT_EQ(order_of(keys, 1), (std::vector<std::uint32_t>{1, 2, 4, 0, 3, 5}));
  EXPECT_EQ(order_of(keys, 4), (std::vector<std::uint32_t>{1, 2, 4, 0, 3, 5}));
}

TEST(SortByTextParallel, SameOrderWithOneOrManyWorkers) {
  const std::vector<std::wstring> keys = random_titles(5000, 11);
  const std::vector<std::uint32_t> expected = reference_order(keys);
  EXPECT_EQ(order_of(keys, 1), expected);
  EXPECT_EQ(order_of(keys, 3), expected);
  EXPECT_EQ(order_of(keys, 8), expected);

  std::vector<std::uint32_t> order(keys.size());
  qiv::sort_by_text_parallel(order, [&](std::uint32_t i, std::wstring& key) { key = keys[i]; });
  EXPECT_EQ(order, expected);
}

// The sort is split among the workers in contiguous chunks whose sorted runs
// are then merged; sizes around the point where splitting starts and counts
// that leave a run without a partner in a merge round are where a split or a
// merge goes wrong first.
void expect_any_split_gives_one_order(const char* shape, std::vector<std::wstring> (*keys_for)(std::size_t)) {
  for (std::size_t n : {0u, 1u, 255u, 256u, 257u, 1000u, 10007u}) {
    const std::vector<std::wstring> keys = keys_for(n);
    const std::vector<std::uint32_t> expected = reference_order(keys);
    for (std::uint32_t workers : {1u, 2u, 3u, 8u}) {
      SCOPED_TRACE(testing::Message() << shape << ", n=" << n << ", workers=" << workers);
      EXPECT_EQ(order_of(keys, workers), expected);
    }
  }
}

TEST(SortByTextParallel, SplitSortGivesTheSingleSortOrderForMixedKeys) {
  expect_any_split_gives_one_order("mixed", [](std::size_t n) { return random_titles(n, 23); });
}

// With few distinct keys nearly every comparison is a tie, so only the index
// tie-break decides, also between items sorted in different chunks.
TEST(SortByTextParallel, SplitSortGivesTheSingleSortOrderForManyEqualKeys) {
  expect_any_split_gives_one_order("equal", [](std::size_t n) {
    static const wchar_t* const values[] = {L"same", L"SAME", L"Same", L"other"};
    std::mt19937 random(5);
    std::vector<std::wstring> keys;
    for (std::size_t i = 0; i < n; ++i) keys.push_back(values[random() % std::size(values)]);
    return keys;
  });
}

// Every chunk already in place: each merge must still interleave nothing and
// keep the runs in order.
TEST(SortByTextParallel, SplitSortGivesTheSingleSortOrderForSortedKeys) {
  expect_any_split_gives_one_order("sorted", [](std::size_t n) {
    std::vector<std::wstring> keys;
    for (std::size_t i = 0; i < n; ++i) keys.push_back(L"track " + std::to_wstring(i));
    return keys;
  });
}

// Each chunk belongs wholly after the next one, so every merge takes the
// entire right run first.
TEST(SortByTextParallel, SplitSortGivesTheSingleSortOrderForReversedKeys) {
  expect_any_split_gives_one_order("reversed", [](std::size_t n) {
    std::vector<std::wstring> keys;
    for (std::size_t i = 0; i < n; ++i) keys.push_back(L"track " + std::to_wstring(n - i));
    return keys;
  });
}

TEST(SortByTextParallel, ComputesEveryKeyExactlyOnce) {
  const std::size_t n = 3000;
  std::unique_ptr<std::atomic<int>[]> calls(new std::atomic<int>[n]);
  for (std::size_t i = 0; i < n; ++i) calls[i] = 0;
  std::vector<std::uint32_t> order(n);
  qiv::sort_by_text_with_workers(order, [&](std::uint32_t i, std::wstring& key) {
    EXPECT_TRUE(key.empty());
    ++calls[i];
    key = std::to_wstring(n - i);
  }, 6);
  for (std::size_t i = 0; i < n; ++i) ASSERT_EQ(calls[i], 1) << "index " << i;
  for (std::size_t k = 0; k < n; ++k) ASSERT_EQ(order[k], n - 1 - k);
}

TEST(SortByTextParallel, SmallListsStayOnTheCallingThread) {
  std::vector<std::uint32_t> none;
  qiv::sort_by_text_parallel(none, [](std::uint32_t, std::wstring&) { ADD_FAILURE() << "key asked of an empty list"; });

  const DWORD caller = GetCurrentThreadId();
  std::vector<std::uint32_t> order(255);
  std::atomic<int> elsewhere{0};
  qiv::sort_by_text_parallel(order, [&](std::uint32_t i, std::wstring& key) {
    if (GetCurrentThreadId() != caller) ++elsewhere;
    key = std::to_wstring(i);
  });
  EXPECT_EQ(elsewhere, 0);
}

// A failing key must reach the caller, and only after no worker can still
// touch the caller's data: the sort must never go on with keys it lacks.
TEST(SortByTextParallel, FailingKeyIsRethrownAfterEveryWorkerStopped) {
  for (std::uint32_t workers : {1u, 4u}) {
    std::atomic<int> running{0};
    std::vector<std::uint32_t> order(3000);
    try {
      qiv::sort_by_text_with_workers(order, [&](std::uint32_t i, std::wstring& key) {
        ++running;
        Sleep(i % 64 == 0 ? 1 : 0);
        --running;
        if (i == 1234) throw std::runtime_error("no title for 1234");
        key = L"x";
      }, workers);
      ADD_FAILURE() << "the failure was not reported, workers=" << workers;
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), "no title for 1234");
      EXPECT_EQ(running, 0) << "a worker was still running, workers=" << workers;
    }
  }
}

} // namespace
