// The worker side of playback: a queue of items that one playback thread
// opens, decodes, scales by ReplayGain, runs through the DSP chain and writes
// to the output one after another on the same output, so consecutive items
// join without a gap. The main thread steers it; the thread reports back
// through playback_engine_callback.
#pragma once

#include <cstdint>
#include <exception>

#include "core/config_item_kinds.h"
#include "core/dsp_chain.h"
#include "core/service_object.h"
#include "metadata/track_handle.h"

class audio_block;

// What the engine plays and what it hands back for an item id: the track and
// the object the caller took it from, which the engine keeps but never uses.
struct engine_track {
  track_handle_ptr track;
  service_handle origin;
};

// Item failure kinds passed to on_item_error.
enum class engine_item_error : std::uint32_t {
  opening = 0,
  seeking = 1,
  decoding = 2,
  idle_step = 3,
};

// Called on the playback thread; the output-stage operations (block written,
// output reset, pause changed, position) many times a second.
class playback_engine_callback {
public:
  virtual void on_fatal_error(const std::exception& failure) = 0;
  virtual void on_aborted() = 0;
  // True lets playback go on with the next item; false ends the thread with
  // the failure.
  virtual bool on_item_error(engine_item_error kind, const track_handle_ptr& track, double position,
                             const std::exception& failure) = 0;
  virtual void on_state_changed() = 0;
  virtual void on_current_item_changed(std::int32_t id) = 0;
  virtual void on_ended() = 0;
  virtual void on_block_written(const audio_block& block, double start) = 0;
  virtual void on_output_reset() = 0;
  virtual void on_pause_changed(bool paused) = 0;
  virtual void on_position(double heard, double latency) = 0;

protected:
  ~playback_engine_callback() = default;
};

class playback_engine : public service_object {
public:
  static constexpr GUID class_guid = {0xB84F4BB0, 0xB6C8, 0x4D1B, {0x8D, 0xE4, 0x78, 0x21, 0xAD, 0x5E, 0x0C, 0x24}};
  using service_parent = service_object;

  // A thread runs, or the engine is suspended by pause.
  virtual bool is_active() = 0;
  virtual bool has_ended() = 0;
  // Once, before the first start.
  virtual void set_callback(playback_engine_callback* callback) = 0;
  virtual void start(bool paused) = 0;
  // Joins the thread and empties the queue; ids start again at 0.
  virtual void stop() = 0;
  // Pauses the output with the thread alive.
  virtual void set_pause_request(bool paused) = 0;
  virtual bool is_paused() = 0;
  virtual bool wants_input() = 0;
  // -1 for a null track.
  virtual std::int32_t enqueue(const engine_track& item) = 0;
  virtual void end_of_input() = 0;
  // The item being heard, or the item a pending seek goes to; -1 when none.
  virtual std::int32_t current_id() = 0;
  virtual bool get_current_track(engine_track& out) = 0;
  virtual bool get_item_track(std::int32_t id, engine_track& out) = 0;
  // False while the item's decoder has not been opened yet.
  virtual bool get_item_can_seek(std::int32_t id, bool& out) = 0;
  // Whether the item failed before any of its sound was made (it could not
  // be opened, or gave no audio at all); false when the id is not queued.
  virtual bool get_item_failed(std::int32_t id) = 0;
  // All of them when the id is not queued.
  virtual void drop_items_before(std::int32_t id) = 0;
  virtual bool seek(std::int32_t id, double seconds) = 0;
  virtual bool get_position(std::int32_t id, double& out) = 0;
  // Applies from the next item opened.
  virtual void set_replaygain(const playback_gain_settings& settings) = 0;
  virtual void set_volume(double decibels) = 0;
  virtual void set_dsp_chain(const dsp_chain& chain) = 0;
  // Pause then resume: the output and the item reopen where they were.
  virtual void restart_output() = 0;
  // Stops the thread and keeps the queue with a seek to the point reached.
  virtual void pause() = 0;
  virtual void resume() = 0;

protected:
  ~playback_engine() = default;
};

// A fresh engine (the engine service's factory makes one per create).
service_ptr<playback_engine> playback_engine_create();
