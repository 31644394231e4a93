// Reading language files: the XML subset they are written in, entries and
// credits, the override file's size limit and damage, and the system texts
// that fill the I/O error ids a file leaves out.
#include "io/localization.h"

#include <gtest/gtest.h>

#include <string>

#include "core/system_message_text.h"
#include "foundation/exceptions.h"
#include "io/io_exceptions.h"
#include "io_test_support.h"

namespace {

const std::string declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n";
const std::string xyz_entry = "<entry id=\"exception_io_data\" text=\"XYZ\"/>";

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

bool load_override(const std::string& content, localization_loader& loader) {
  io_test::scratch_folder folder;
  io_test::write_file(folder.path("zorv-language.xml"), content);
  return localization_load_override_file(loader, folder.path("zorv-language.xml").c_str());
}

// What a document gives for the entry "t": its text, "refused" when the
// document is damaged data, "invalid" for a malformed character reference.
std::string parsed_entry(const std::string& document) {
  try {
    return text_of(parse(document), "t");
  } catch (const vantrel_io::exception_io_data&) {
    return "refused";
  } catch (const qiv::exception_invalid_params&) {
    return "invalid";
  }
}

std::string entry(const std::string& text) { return "<entry id=\"t\" text=\"" + text + "\"/>"; }

}  // namespace

TEST(LanguageFile, TheXmlSubsetAcceptsWellFormedDocumentsAndRefusesDamagedOnes) {
  const std::string root_t = "<localization>" + entry("T") + "</localization>";
  const struct {
    std::string document;
    const char* result;
  } cases[] = {
      {"<?xml  version=\"1.0\"?>" + root_t, "T"},
      {"<?xml encoding=\"Utf-8\"?>" + root_t, "T"},
      {"<?xml encoding=\"latin1\" encoding=\"utf-8\"?>" + root_t, "T"},  // the last one counts
      {"", "refused"},
      {"<?xml", "refused"},
      {"<?xml\tversion=\"1.0\"?>" + root_t, "refused"},
      {"<?xml version='1.0'?>" + root_t, "refused"},
      {"<?xml version = \"1.0\"?>" + root_t, "refused"},
      {"<?xml version=\"1.0\"?" + root_t, "refused"},
      {"<?xml ver-sion=\"1\"?>" + root_t, "refused"},
      {language_file(entry("&#x41;&#65;&65;&AMP;&lt;&gt;&quot;&apos;")), "AAA&<>\"'"},
      {language_file(entry("&#8230; caf\xC3\xA9")), "\xE2\x80\xA6 caf\xC3\xA9"},
      {language_file(entry("a&#0;b")), "ab"},  // code point 0 has no encoding and leaves nothing
      {language_file("<a x=\"1\"><b>&amp;</b><!-- </a> --></a> between <c/>" + entry("T") + "<d></d>"), "T"},
      {language_file("<a>x</A >" + entry("T")), "T"},  // end tags match ignoring case
      {language_file("a<!---->b" + entry("T")), "T"},
      {language_file("<e id=\"a&amp;b\"text = \"&lt;x&gt;\"/>" + entry("T")), "T"},
      {language_file(entry("&#1a;")), "invalid"},
  };
  for (const auto& c : cases) EXPECT_EQ(parsed_entry(c.document), c.result) << c.document;
  for (const std::string& damaged :
       {entry("&#;"), entry("&nbsp;"), entry("a & b"), entry("&#4294967296;"), entry("bad \xC3"),
        entry(std::string("nul\0byte", 8)), std::string("<a>x</b>"), std::string("<a>x</ a>"),
        std::string("<a><b></a>"), std::string("<a>"), std::string("<a>text<"), std::string("</a>"),
        std::string("<a"), std::string("<>"), std::string("</>"), std::string("< a/>"),
        std::string("<e id=\"a\" ID=\"b\"/>"), std::string("<e id='a'/>"), std::string("<e id=\"a/>"),
        std::string("<e id/>"), std::string("<e =\"a\"/>"), std::string("<e id=/>"),
        std::string("<!-- a -- b -->"), std::string("<!-- never closed"), std::string("<!-- a --")})
    EXPECT_EQ(parsed_entry(language_file(entry("T") + damaged)), "refused") << damaged;
}

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
  EXPECT_THROW(parse(declaration + "<localization/><Localization></Localization>"), vantrel_io::exception_io_data);
}

TEST(LanguageFile, CreditsAreTrimmedAndAnEmptyCreditKeepsTheEarlierOne) {
  const auto credits = [](const std::string& body) { return std::string(parse(language_file(body)).credits.get_ptr()); };
  EXPECT_EQ(credits("<copyright>\n Anna &amp; Bo <!-- thanks -->\n</copyright>"), "Anna & Bo");
  EXPECT_EQ(credits("<copyright> <!-- only a comment --> </copyright>"), "");
  EXPECT_EQ(credits("<copyright>First</copyright><copyright> </copyright>"), "First");
  EXPECT_THROW(credits("<copyright>a <b>bold</b></copyright>"), vantrel_io::exception_io_data);
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
      language_file(xyz_entry + "<copyright>a<b/></copyright>"),      // entries read before the error
      language_file(xyz_entry + "<entry id=\"x\" text=\"&#1z;\"/>"),  // not a data error, refused all the same
      "",
  };
  for (const std::string& content : cases) {
    localization_loader loader;
    EXPECT_FALSE(load_override(content, loader)) << content;
    EXPECT_EQ(loader.table.count(), 0u);
    EXPECT_FALSE(loader.root_seen);
  }
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
