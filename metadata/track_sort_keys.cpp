#include "metadata/track_sort_keys.h"

#include <memory>

#include "core/random_source.h"
#include "core/service_factory.h"
#include "foundation/exceptions.h"
#include "foundation/string_buffer.h"
#include "foundation/utf8.h"
#include "metadata/title/title_hook_chain.h"
#include "metadata/title/title_rand_hook.h"

namespace {

// What one worker keeps from track to track, so that a key costs no heap
// call once the buffers have grown.
struct key_worker_state {
  key_worker_state(random_source& random, field_provider* extra) : rand_hook(random), hooks(extra, &rand_hook) {}

  title_rand_hook rand_hook;
  title_hook_chain hooks;
  track_display_info record;
  qiv::string_buffer text;
};

} // namespace

void sort_tracks_by_script(std::span<std::uint32_t> order, const track_handle_list& handles,
                           const title_script& script, field_provider* extra, qiv::text_sort_timing* timing) {
  if (order.size() != handles.size()) throw qiv::exception_invalid_params();
  // One generator for all workers: it is safe to share between threads.
  const service_ptr<random_source> random(new service_counted<crypto_random_source>());
  const auto make_key_function = [&]() -> qiv::text_sort_key_function {
    auto state = std::make_shared<key_worker_state>(*random, extra);
    return [&, state](std::uint32_t index, std::wstring& key) {
      // The record is copied under the info lock and evaluated outside it, so
      // the workers run side by side and nobody else waits for a whole sort.
      // An uncached track keeps the empty record.
      state->record.clear();
      state->record.set_length(0);
      handles[index]->get_info(state->record);
      handles[index]->evaluate_script_with_info(state->record, &state->hooks, state->text, script);
      key.resize(qiv::estimate_utf8_to_wide(state->text.get_ptr()));
      key.resize(qiv::convert_utf8_to_wide_unchecked(key.data(), state->text.get_ptr()));
    };
  };
  qiv::sort_by_text_parallel(order, make_key_function, timing);
}
