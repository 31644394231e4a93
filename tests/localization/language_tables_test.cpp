// The twelve language tables as the program carries them: each is the file
// of the language folder, parses, defines every id of the English table and
// no other, and keeps the English placeholders, since a translation that
// drops or renames one makes the formatted text fail.
#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "foundation/resource_data.h"
#include "io/localization.h"
#include "io/xml_reader.h"

namespace {

struct language {
  std::uint32_t language_id;
  std::uint16_t resource;
  const char* file;
};

const language languages[] = {
    {0x0409, 293, "en.xml"}, {0x0407, 296, "de.xml"},      {0x040B, 299, "fi.xml"},
    {0x040C, 308, "fr.xml"}, {0x040D, 302, "he.xml"},      {0x0410, 309, "it.xml"},
    {0x0411, 303, "ja.xml"}, {0x0415, 291, "pl.xml"},      {0x0419, 298, "ru.xml"},
    {0x041D, 307, "sv.xml"}, {0x0804, 310, "zh-hans.xml"}, {0x0404, 301, "zh-hant.xml"},
};

std::string read_source_file(const char* name) {
  std::string path = std::string("Z:") + ZORV_LANGUAGE_FOLDER + "/" + name;
  for (char& c : path)
    if (c == '/') c = '\\';
  std::string content;
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return content;
  content.resize(GetFileSize(file, nullptr));
  DWORD read = 0;
  ReadFile(file, content.data(), static_cast<DWORD>(content.size()), &read, nullptr);
  content.resize(read);
  CloseHandle(file);
  return content;
}

std::string resource_bytes(std::uint16_t resource) {
  const auto data = load_resource_data(GetModuleHandleW(nullptr), MAKEINTRESOURCEA(resource), "TEXT");
  return data ? std::string(static_cast<const char*>(data->data()), data->size()) : std::string();
}

// The entries of a language file in file order.
struct entry {
  std::string id;
  std::string text;
};

std::vector<entry> entries_of(const std::string& document) {
  struct entry_list : xml_handler {
    void on_element(const char* name, const xml_attributes& attributes, const char*, std::size_t) override {
      if (std::string(name) != "entry") return;
      const auto* id = attributes.find("id");
      const auto* text = attributes.find("text");
      if (id && text) found.push_back({id->value.get_ptr(), text->value.get_ptr()});
    }
    void on_text(const char*, std::size_t) override {}
    std::vector<entry> found;
  } entries;
  struct root : xml_handler {
    explicit root(xml_handler& inner) : inner(inner) {}
    void on_element(const char* name, const xml_attributes&, const char* content, std::size_t length) override {
      if (std::string(name) == "localization" && content) xml_read_content(inner, content, length);
    }
    void on_text(const char*, std::size_t) override {}
    xml_handler& inner;
  } top(entries);
  xml_read_document(top, document.data(), document.size());
  return entries.found;
}

std::multiset<std::string> placeholders(const std::string& text) {
  std::multiset<std::string> names;
  for (std::size_t open = text.find('{'); open != std::string::npos; open = text.find('{', open + 1)) {
    const std::size_t close = text.find('}', open);
    names.insert(close == std::string::npos ? "(unclosed)" : text.substr(open, close - open + 1));
  }
  return names;
}

}  // namespace

TEST(LanguageTables, EachBuiltinTableIsTheFileOfItsLanguageAndStartsWithTheDeclaration) {
  for (const language& l : languages) {
    const std::string file = read_source_file(l.file);
    ASSERT_FALSE(file.empty()) << l.file;
    EXPECT_EQ(resource_bytes(l.resource), file) << l.file << " is not resource " << l.resource;
    EXPECT_EQ(file.compare(0, 6, "<?xml "), 0) << l.file << " must begin with the declaration, no byte-order mark";
  }
}

TEST(LanguageTables, EveryLanguageGetsExactlyTheEnglishIdsWithTheEnglishPlaceholders) {
  const std::vector<entry> english = entries_of(resource_bytes(293));
  ASSERT_EQ(english.size(), 304u);
  for (const language& l : languages) {
    localization_loader loader;
    localization_load_builtin(loader, l.language_id, GetModuleHandleW(nullptr));
    EXPECT_EQ(loader.table.count(), english.size()) << l.file << " defines ids that English does not";
    for (const entry& e : english) {
      const char* text = loader.table.find(e.id.c_str());
      if (text == nullptr) {
        ADD_FAILURE() << l.file << " lacks " << e.id;
        continue;
      }
      EXPECT_EQ(placeholders(text), placeholders(e.text)) << l.file << ": " << e.id;
    }
  }
}
