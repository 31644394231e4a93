// Processor feature test that picks the vectorised sample conversions. It is
// called from static initialisers, so it depends on no other static object.
#pragma once

// Feature bits of cpu_has_features' mask.
enum cpu_feature : unsigned {
  cpu_feature_3dnow = 1,
  cpu_feature_3dnow_ext = 2,
  cpu_feature_sse = 4,
  cpu_feature_sse2 = 8,
  cpu_feature_sse3 = 16,
  cpu_feature_ssse3 = 32,
  cpu_feature_sse41 = 64,
  cpu_feature_sse42 = 128,
};

// True when every feature in the mask is present; an empty mask is true and a
// bit that names no feature counts as absent.
bool cpu_has_features(unsigned mask);
