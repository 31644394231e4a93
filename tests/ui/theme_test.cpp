// The theme and album-picture choices: their menu entries, their colours,
// their listeners, and their survival across a restart through "config.dat".
#include "ui/controls/theme.h"

#include <gtest/gtest.h>

#include "core/app_state.h"
#include "core/menu_group_def.h"
#include "foundation/string_small.h"
#include "io/config_store.h"
#include "io/io_test_support.h"
#include "ui/controls/theme_commands.h"

namespace {

service_single_instance<theme_commands> themes;
service_single_instance<album_pictures_command> album_pictures;

struct counting_listener : theme_listener, album_pictures_listener {
  int theme_changes = 0;
  int picture_changes = 0;
  theme_listener* remove_on_change = nullptr;
  void on_theme_changed() override {
    ++theme_changes;
    if (remove_on_change != nullptr) theme_listeners::remove(remove_on_change);
  }
  void on_album_pictures_changed() override { ++picture_changes; }
};

// The themes in menu order whose entry is checked.
std::vector<GUID> checked_themes() {
  std::vector<GUID> checked;
  for (std::uint32_t i = 0; i < themes.get_command_count(); ++i) {
    qiv::string_small text;
    std::uint32_t flags = 0;
    EXPECT_TRUE(themes.get_display(i, text, flags));
    if (flags & main_menu_group::flag_checked) checked.push_back(themes.get_command_guid(i));
  }
  return checked;
}

bool album_pictures_checked() {
  qiv::string_small text;
  std::uint32_t flags = 0;
  album_pictures.get_display(0, text, flags);
  return (flags & main_menu_group::flag_checked) != 0;
}

TEST(Themes, AFreshProfileHasClassicCheckedAndPicturesOnAndAChoiceSurvivesARestart) {
  io_test::build_registry();
  io_test::scratch_folder profile;
  app::state().profile_path.set_string(profile.file_url().c_str());
  app::state().quiet = true;
  service_single_instance<vantrel_io::config_store> store;
  store.load();
  EXPECT_EQ(checked_themes(), std::vector<GUID>{theme_ids::classic});
  EXPECT_TRUE(album_pictures_checked());
  EXPECT_EQ(themes.get_parent(), main_menu_node::theme);
  EXPECT_EQ(album_pictures.get_parent(), main_menu_node::view);

  themes.execute(1, {});
  album_pictures.execute(0, {});
  store.save(false);
  themes.execute(0, {});
  album_pictures.execute(0, {});
  store.load();
  EXPECT_EQ(checked_themes(), std::vector<GUID>{theme_ids::black});
  EXPECT_FALSE(album_pictures_checked());

  // A damaged record (cut to 3 bytes) leaves the theme as it was.
  constexpr GUID theme_item = {0x1DE8F186, 0x735F, 0x4F81, {0xB6, 0x87, 0x43, 0x0C, 0x92, 0x99, 0x3A, 0x15}};
  std::string damaged(reinterpret_cast<const char*>(&theme_item), sizeof(GUID));
  damaged += std::string("\x03\x00\x00\x00\x01\x02\x03", 7);
  vantrel_io::memory_reader reader(damaged.data(), static_cast<std::uint32_t>(damaged.size()));
  store.read_payload(reader, io_test::no_abort());
  EXPECT_EQ(checked_themes(), std::vector<GUID>{theme_ids::black});

  // A stored theme that is none of the four checks nothing and colours as
  // the classic theme.
  set_current_theme(theme_ids::black);
  set_current_theme(GUID{0x12345678, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}});
  EXPECT_TRUE(checked_themes().empty());
  EXPECT_EQ(theme_colour(theme_background), GetSysColor(COLOR_WINDOW));
  set_current_theme(theme_ids::classic);
  set_album_pictures_shown(true);
}

TEST(Themes, ColoursComeFromTheTableAndTheClassicThemeFromTheSystem) {
  const struct {
    GUID theme;
    COLORREF colours[4];
    bool dark;
  } cases[] = {
      {theme_ids::black, {0xFFFFFF, 0xFF6060, 0x000000, 0xC00000}, true},
      {theme_ids::white, {0x000000, 0xFF0000, 0xFFFFFF, 0xFF8000}, false},
      {theme_ids::graphite, {0x000000, 0xC00000, 0xA0A0A0, 0xFF8000}, false},
  };
  for (const auto& c : cases) {
    set_current_theme(c.theme);
    for (std::uint32_t i = 0; i < 4; ++i) EXPECT_EQ(theme_colour(i), c.colours[i]) << i;
    EXPECT_EQ(theme_is_dark(), c.dark);
  }
  set_current_theme(theme_ids::classic);
  EXPECT_EQ(theme_colour(theme_text), GetSysColor(COLOR_WINDOWTEXT));
  EXPECT_EQ(theme_colour(theme_link), 0xFF0000u);
  const COLORREF highlight = GetSysColor(COLOR_HIGHLIGHT), window = GetSysColor(COLOR_WINDOW);
  const COLORREF accent = theme_colour(theme_accent);
  for (int shift : {0, 8, 16}) {
    const int h = (highlight >> shift) & 0xFF, w = (window >> shift) & 0xFF;
    EXPECT_EQ(static_cast<int>((accent >> shift) & 0xFF), h + MulDiv(w - h, 50, 100)) << shift;
  }
  EXPECT_EQ(theme_is_dark(), window == 0);
}

TEST(Themes, ListenersHearEachChoiceOnceAlsoWhenNothingChanged) {
  counting_listener first, second;
  theme_listeners::add(static_cast<theme_listener*>(&first));
  theme_listeners::add(static_cast<theme_listener*>(&second));
  theme_listeners::add(static_cast<album_pictures_listener*>(&first));
  themes.execute(2, {});
  themes.execute(2, {});
  EXPECT_EQ(first.theme_changes, 2);
  EXPECT_EQ(second.theme_changes, 2);
  album_pictures.execute(0, {});
  EXPECT_EQ(first.picture_changes, 1);
  EXPECT_EQ(second.picture_changes, 0);

  // A listener that removes the next one while it is told: that one is not
  // told any more, this time or later.
  first.remove_on_change = &second;
  themes.execute(0, {});
  EXPECT_EQ(first.theme_changes, 3);
  EXPECT_EQ(second.theme_changes, 2);
  theme_listeners::remove(static_cast<theme_listener*>(&first));
  theme_listeners::remove(static_cast<album_pictures_listener*>(&first));
  album_pictures.execute(0, {});
  EXPECT_EQ(first.picture_changes, 1);
}

}  // namespace
