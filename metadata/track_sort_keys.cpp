#include "metadata/track_sort_keys.h"

#include "core/random_source.h"
#include "core/service_factory.h"
#include "foundation/exceptions.h"
#include "foundation/sort_by_text_parallel.h"
#include "foundation/string_buffer.h"
#include "foundation/utf8.h"
#include "metadata/title_hook_chain.h"
#include "metadata/title_rand_hook.h"

void sort_tracks_by_script(std::span<std::uint32_t> order, const track_handle_list& handles,
                           const title_script& script, field_provider* extra) {
  if (order.size() != handles.size()) throw qiv::exception_invalid_params();
  // One generator for all workers: it is safe to share between threads.
  const service_ptr<random_source> random(new service_counted<crypto_random_source>());
  const auto key_of = [&](std::uint32_t index, std::wstring& key) {
    title_rand_hook rand_hook(*random);
    title_hook_chain hooks(extra, &rand_hook);
    qiv::string_buffer text;
    // The record is copied under the info lock and evaluated outside it, so
    // the workers run side by side and nobody else waits for a whole sort.
    track_display_info record;
    handles[index]->get_info(record);
    handles[index]->evaluate_script_with_info(record, &hooks, text, script);
    // The leading space keeps an empty result a real key, ordered first.
    key.assign(1, L' ');
    const std::size_t start = key.size();
    key.resize(start + qiv::estimate_utf8_to_wide(text.get_ptr()));
    key.resize(start + qiv::convert_utf8_to_wide_unchecked(key.data() + start, text.get_ptr()));
  };
  qiv::sort_by_text_parallel(order, key_of);
}
