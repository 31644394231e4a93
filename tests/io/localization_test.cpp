// Reading language files: entries and credits, the user's override file and
// when it is refused, and the system texts that fill the I/O error ids a file
// leaves out.
#include "io/localization.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "core/system_message_text.h"
#include "io/io_exceptions.h"

namespace {

const std::string declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n";

std::string language_file(const std::string& body) { return declaration + "<localization>" + body + "</localization>"; }

localization_loader parse(const std::string& document) {
  localization_loader loader;
  localization_parse(loader, document.data(), document.size());
  return loader;
}

std::string text_of(const localization_loader& loader, const char* id) {
  const char* text = loader.table.find(id);
  return text ? text : "(missing)";
}

// Writes `content` to a temporary file, reads it as the override, removes it.
bool load_override(const std::string& content, localization_loader& loader) {
  wchar_t folder[MAX_PATH], name[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  GetTempFileNameW(folder, L"zlg", 0, name);
  HANDLE file = CreateFileW(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
  CloseHandle(file);
  char path[MAX_PATH * 3];
  WideCharToMultiByte(CP_UTF8, 0, name, -1, path, sizeof path, nullptr, nullptr);
  const bool loaded = localization_load_override_file(loader, path);
  DeleteFileW(name);
  return loaded;
}

const std::string xyz_entry = "<entry id=\"exception_io_data\" text=\"XYZ\"/>";

}  // namespace

TEST(LanguageFile, EntriesFillTheTableAndAnythingElseIsIgnored) {
  const localization_loader loader = parse(declaration + "<notes>" + xyz_entry + "</notes><localization>stray" +
                                           "<entry id=\"menu_play\" text=\"Play\"/><ENTRY ID=\"menu_stop\" TEXT=\"Stop\"/>"
                                           "<entry id=\"menu_play\" text=\"Play now\"/><entry id=\"dialog_ok\" text=\"\"/>"
                                           "<entry id=\"no_text\"/><entry text=\"no id\"/><group>" +
                                           xyz_entry + "</group></localization>");
  EXPECT_TRUE(loader.root_seen);
  EXPECT_EQ(text_of(loader, "menu_play"), "Play now");  // a later entry replaces an earlier one
  EXPECT_EQ(text_of(loader, "menu_stop"), "Stop");
  EXPECT_EQ(text_of(loader, "dialog_ok"), "");
  EXPECT_EQ(loader.table.count(), 3u);
}

TEST(LanguageFile, ASecondRootIsDamagedData) {
  EXPECT_THROW(parse(declaration + "<localization/><Localization></Localization>"), vantrel_io::exception_io_data);
}

TEST(LanguageFile, CreditsAreTrimmedAndAnEmptyCreditKeepsTheEarlierOne) {
  EXPECT_STREQ(parse(language_file("<copyright>\n Anna &amp; Bo <!-- thanks -->\n</copyright>")).credits.get_ptr(),
               "Anna & Bo");
  EXPECT_STREQ(parse(language_file("<copyright> <!-- only a comment --> </copyright>")).credits.get_ptr(), "");
  EXPECT_STREQ(parse(language_file("<copyright>First</copyright><copyright> </copyright>")).credits.get_ptr(), "First");
  EXPECT_THROW(parse(language_file("<copyright>a <b>bold</b></copyright>")), vantrel_io::exception_io_data);
}

TEST(OverrideFile, ExactlyTheSizeLimitIsReadAndOneByteMoreIsRefused) {
  std::string document = language_file(xyz_entry) + "<!--";
  document.append(static_cast<std::size_t>(localization_override_max_size) - document.size() - 3, 'x');
  document += "-->";
  localization_loader loader;
  EXPECT_TRUE(load_override(document, loader));
  EXPECT_EQ(text_of(loader, "exception_io_data"), "XYZ");
  EXPECT_FALSE(load_override(document + " ", loader));
}

TEST(OverrideFile, BrokenFilesAreRefusedAndLeaveNothingBehind) {
  const std::string cases[] = {
      "\xEF\xBB\xBF" + language_file(xyz_entry),
      "<?xml encoding=\"windows-1252\"?><localization>" + xyz_entry + "</localization>",
      language_file(xyz_entry + "<copyright>a<b/></copyright>"),  // entries read before the error
      language_file(xyz_entry + "<entry id=\"x\" text=\"&#1z;\"/>"),  // not a data error, refused all the same
      // Without its root the file would blank every text of the program.
      declaration + "<localisation>" + xyz_entry + "</localisation>",
      "",
  };
  for (const std::string& content : cases) {
    localization_loader loader;
    EXPECT_FALSE(load_override(content, loader)) << content;
    EXPECT_EQ(loader.table.count(), 0u);
    EXPECT_FALSE(loader.root_seen);
  }
  localization_loader missing;
  EXPECT_FALSE(localization_load_override_file(missing, "C:\\no such folder\\zorv-language.xml"));
}

TEST(SystemTexts, FillOnlyTheErrorIdsThatTheFileLeavesOut) {
  localization_loader loader = parse(language_file("<entry id=\"exception_io_denied\" text=\"Nope\"/>"));
  localization_add_system_texts(loader);
  EXPECT_EQ(text_of(loader, "exception_io_denied"), "Nope");
  EXPECT_EQ(text_of(loader, "exception_io_data"), "(missing)");  // not one the system supplies
  qiv::string_buffer system_text;
  if (!format_system_message_utf8(system_text, 2)) GTEST_SKIP() << "the system has no text for code 2";
  EXPECT_EQ(text_of(loader, "exception_io_not_found"), system_text.get_ptr());
}
