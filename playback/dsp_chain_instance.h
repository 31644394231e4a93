// The running form of the user's DSP chain: one instance per chain entry
// whose effect type is registered, rebuilt when the chain changes, with every
// batch of decoded blocks passed through the instances in chain order.
#pragma once

#include <cstdint>
#include <vector>

#include "core/abort_signal.h"
#include "core/dsp_chain.h"
#include "core/service_object.h"
#include "foundation/string_object.h"
#include "metadata/track_handle.h"
#include "playback/audio_block.h"

// Run flags: the current item ended and another follows; drain or cut.
enum dsp_run_flags : std::uint32_t {
  dsp_end_of_track = 1,
  dsp_flush = 2,
};

// A running effect.
class dsp_instance : public service_object {
public:
  static constexpr GUID class_guid = {0x3B0E3B8E, 0x55C2, 0x4A35, {0x8F, 0x0D, 0x31, 0x2C, 0x77, 0x6A, 0x02, 0x91}};
  using service_parent = service_object;

  // Works on the blocks in place: may change, remove or append them.
  virtual void run(audio_block_list& blocks, track_handle* item, std::uint32_t flags) = 0;
  // Seconds of audio the effect holds back.
  virtual double get_latency() = 0;
  // Whether the effect wants to see where one item ends and the next begins.
  virtual bool wants_track_change_mark() = 0;

protected:
  ~dsp_instance() = default;
};

// Effects whose work can be cancelled.
class dsp_instance_abortable : public dsp_instance {
public:
  static constexpr GUID class_guid = {0x9FB1DA49, 0xAF6F, 0x4FD2, {0x9C, 0x73, 0x48, 0xA8, 0xA1, 0x09, 0x00, 0x3B}};
  using service_parent = dsp_instance;
  static constexpr bool service_is_extension = true;

  virtual void run_abortable(audio_block_list& blocks, track_handle* item, std::uint32_t flags,
                             const abort_signal& abort) = 0;

protected:
  ~dsp_instance_abortable() = default;
};

// Told of every change the user makes in an effect's configuration dialog
// while it is open.
class dsp_preset_change_callback {
public:
  virtual void on_preset_changed(const dsp_preset& preset) = 0;

protected:
  ~dsp_preset_change_callback() = default;
};

// An effect type; presets name it by its GUID. The defaults of the
// user-facing operations describe an effect without settings of its own.
class dsp_effect_type : public service_object {
public:
  static constexpr GUID class_guid = {0x0D048731, 0x8AA8, 0x4704, {0x8A, 0xD6, 0x18, 0x9E, 0x24, 0xD4, 0x8C, 0x88}};
  using service_parent = service_object;

  virtual bool instantiate(service_ptr<dsp_instance>& out, const dsp_preset& preset) = 0;
  virtual GUID get_guid() = 0;

  // The name shown in the DSP lists (UTF-8).
  virtual void get_name(qiv::string_object& out) { out.set_string(""); }
  // The settings a newly added entry starts with; false when there are none.
  virtual bool get_default_preset(dsp_preset& out) {
    out.set_guid(get_guid());
    out.set_data(nullptr, 0);
    return true;
  }
  virtual bool has_config_popup() { return false; }
  // Runs the effect's configuration dialog over `preset`; true when the
  // user changed it.
  virtual bool show_config_popup(dsp_preset& /*preset*/, HWND /*parent*/) { return false; }
  // As show_config_popup, reporting each change while the dialog is open.
  // The default reports the end result once.
  virtual void show_config_popup_notify(const dsp_preset& preset, HWND parent, dsp_preset_change_callback& callback) {
    dsp_preset edited(preset);
    if (show_config_popup(edited, parent)) callback.on_preset_changed(edited);
  }

protected:
  ~dsp_effect_type() = default;
};

bool find_dsp_effect_type(const GUID& guid, service_ptr<dsp_effect_type>& out);

class dsp_chain_instance {
public:
  // Takes effect at the next run.
  void set_chain(const dsp_chain& chain);
  // Runs the blocks through the instances; answers the seconds they hold
  // back. Blocks that cannot reach the output are removed.
  double run(audio_block_list& blocks, track_handle* item, std::uint32_t flags, const abort_signal& abort);
  // Drops what the instances hold (seek, pause flush) by running them once
  // with the flush flag on an empty list.
  void flush(const abort_signal& abort);
  // Forgets the instances; the next run builds them again.
  void reset();

private:
  struct node {
    service_ptr<dsp_instance> instance;
    dsp_preset preset;
    bool kept = false;
  };
  static double run_node(node& n, audio_block_list& blocks, track_handle* item, std::uint32_t flags,
                         const abort_signal& abort);
  double rebuild(audio_block_list& blocks, track_handle* item, std::uint32_t flags, std::size_t marker,
               const abort_signal& abort);

  dsp_chain chain_;
  bool changed_ = false;
  std::vector<node> running_;
};
