#include "playback/output/dsound_underruns.h"

#include "playback/output/dsound_worker.h"

namespace {

constexpr std::size_t kept_at_most = 64;

struct underrun_record {
  // Room for all it keeps, so that recording in a feeding pass never fails.
  underrun_record() { first.reserve(kept_at_most); }
  std::uint32_t count = 0;
  std::vector<dsound_underrun> first;
};

underrun_record& record_of_process() {
  static underrun_record record;
  return record;
}

} // namespace

namespace dsound_underruns {

void record(const dsound_underrun& underrun) noexcept {
  critical_section_lock hold(dsound_worker::lock());
  underrun_record& record = record_of_process();
  ++record.count;
  if (record.first.size() < kept_at_most) record.first.push_back(underrun);
}

std::uint32_t count() {
  critical_section_lock hold(dsound_worker::lock());
  return record_of_process().count;
}

std::vector<dsound_underrun> first_recorded() {
  critical_section_lock hold(dsound_worker::lock());
  return record_of_process().first;
}

} // namespace dsound_underruns
