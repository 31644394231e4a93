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

using qiv::natural_order_kind;

std::vector<std::uint32_t> order_of(const std::vector<std::wstring>& keys, std::uint32_t workers,
                                    std::optional<natural_order_kind> keys_like = std::nullopt) {
  std::vector<std::uint32_t> order(keys.size(), 0xDEADBEEF);
  const qiv::text_sort_key_function key_of = [&](std::uint32_t i, std::wstring& key) { key = keys[i]; };
  qiv::sort_by_text_with_workers(order, [&] { return key_of; }, workers, nullptr, keys_like);
  return order;
}

// What the result must equal: a stable sort by the system's natural compare.
std::vector<std::uint32_t> reference_order(const std::vector<std::wstring>& keys) {
  std::vector<std::uint32_t> order(keys.size());
  std::iota(order.begin(), order.end(), 0u);
  std::stable_sort(order.begin(), order.end(),
                   [&](std::uint32_t a, std::uint32_t b) { return StrCmpLogicalW(keys[a].c_str(), keys[b].c_str()) < 0; });
  return order;
}

// Pieces on which sort keys and the system's compare most likely disagree: big numbers, leading
// zeros, case, ignorable punctuation, combining marks, kana, other scripts, prefixes, NULs.
// With `other_digits`, also digits beyond ASCII ones, which the system may
// read as numbers where the keys read characters.
std::vector<std::wstring> tricky_texts(std::size_t count, unsigned seed, bool other_digits = false) {
  static const wchar_t* const pieces[] = {L"\u0661\u0662", L"\uff13",
      L"2147483647", L"2147483648", L"4294967295", L"4294967296", L"99999999999", L"1", L"01", L"001", L"10", L"9",
      L"track", L"Track", L"TRACK", L"a-b", L"ab", L"a b", L"e\u0301", L"\u00e9", L"\u3055\u304f\u3089",
      L"\u30b5\u30af\u30e9", L"\u041f\u0435\u0441\u043d\u044f", L"\u97f3\u697d", L"-", L" ", L"", L"x\0y"};
  std::mt19937 random(seed);
  std::vector<std::wstring> texts;
  for (std::size_t i = 0; i < count; ++i) {
    std::wstring text;
    for (std::uint32_t p = random() % 4; p > 0; --p) {
      const std::size_t first = other_digits ? 0 : 2;
      const wchar_t* piece = pieces[first + random() % (std::size(pieces) - first)];
      text += piece == pieces[std::size(pieces) - 1] ? std::wstring(L"x\0y", 3) : std::wstring(piece);
    }
    texts.push_back(text);
  }
  return texts;
}

// The keys only make the sort fast: with keys modelled on either kind of
// natural order, any split among workers and any size, the result is the
// system's stable order. On a system of the other kind the keys disagree on
// many pairs, which is where the repair and the full fallback are exercised.
TEST(SortByTextParallel, EqualsAStableSortBySystemCompareWhateverTheKeys) {
  for (std::size_t n : {1u, 2u, 255u, 257u, 3001u}) {
    std::vector<std::wstring> big_numbers;  // the keys of one kind get these wrong all over: the fallback sort
    for (std::size_t i = 0; i < n; ++i) big_numbers.push_back(L"x" + std::to_wstring(2147483000ull + 997 * i % 3000));
    for (const std::vector<std::wstring>& keys : {tricky_texts(n, 23), tricky_texts(n, 29, true), big_numbers}) {
      const std::vector<std::uint32_t> expected = reference_order(keys);
      for (natural_order_kind kind : {natural_order_kind::per_character, natural_order_kind::collation})
        for (std::uint32_t workers : {1u, 3u, 8u}) {
          SCOPED_TRACE(testing::Message() << "n=" << n << ", workers=" << workers << ", kind=" << static_cast<int>(kind)
                                          << ", first key " << testing::PrintToString(keys[0]));
          ASSERT_EQ(order_of(keys, workers, kind), expected);
        }
    }
  }
}

// Texts read in place end at their first NUL, as the system reads them.
TEST(SortByTextParallel, TextsReadInPlaceSortAsTheSameTextsMade) {
  for (std::size_t n : {0u, 1u, 3001u}) {
    const std::vector<std::wstring> keys = tricky_texts(n, 31, true);
    std::vector<const wchar_t*> texts;
    for (const std::wstring& key : keys) texts.push_back(key.c_str());
    for (std::uint32_t workers : {1u, 3u}) {
      std::vector<std::uint32_t> order(n, 0xDEADBEEF);
      qiv::sort_by_text_with_workers(order, texts, workers);
      ASSERT_EQ(order, reference_order(keys)) << "n=" << n << ", workers=" << workers;
    }
  }
}

TEST(SortByTextParallel, EveryKeyOnceAndEachWorkerItsOwnFunction) {
  const std::size_t n = 3000;
  std::vector<std::atomic<int>> calls(n);
  int functions_made = 0;
  std::vector<std::uint32_t> order(n);
  qiv::sort_by_text_with_workers(order, [&]() -> qiv::text_sort_key_function {
    ++functions_made;
    auto owner = std::make_shared<DWORD>(0);
    return [&, owner](std::uint32_t i, std::wstring& key) {
      EXPECT_TRUE(key.empty());
      // One function per worker: it may keep buffers without a lock.
      if (*owner == 0) *owner = GetCurrentThreadId();
      EXPECT_EQ(*owner, GetCurrentThreadId());
      ++calls[i];
      key = std::to_wstring(n - i);
    };
  }, 6);
  EXPECT_EQ(functions_made, 6);
  for (std::size_t i = 0; i < n; ++i) ASSERT_EQ(calls[i], 1) << "index " << i;
  for (std::size_t k = 0; k < n; ++k) ASSERT_EQ(order[k], n - 1 - k);

  std::vector<std::uint32_t> none;
  qiv::sort_by_text_parallel(none, [](std::uint32_t, std::wstring&) { ADD_FAILURE() << "key asked of an empty list"; });
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
