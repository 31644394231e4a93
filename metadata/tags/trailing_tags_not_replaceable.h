// The data error of a write refused because of what the tags at the end of
// the file are: replacing them would lose what they hold or cut audio, or
// show readers an older tag. The file is left as it was, and the message
// says which of these stood in the way, since the file itself may be sound.
#pragma once

#include "io/io_exceptions.h"

class exception_trailing_tags_not_replaceable : public vantrel_io::exception_io_data {
public:
  enum class reason {
    damaged,       // a footer whose tag cannot be read, or tags reaching into the audio
    stacked,       // a second APEv2 tag right before the last one
    hidden_items,  // a malformed item hides the items after it
  };

  explicit exception_trailing_tags_not_replaceable(reason why) : vantrel_io::exception_io_data(message(why)) {}

private:
  static vantrel_io::io_message message(reason why) {
    switch (why) {
      case reason::stacked:
        return vantrel_io::io_message("exception_apev2_tag_stacked",
                                      "The file holds a second APEv2 tag before its last one, which other programs "
                                      "would show after this edit; the file was not changed");
      case reason::hidden_items:
        return vantrel_io::io_message("exception_apev2_item_unreadable",
                                      "An item of the file's APEv2 tag cannot be read, and it and the items after it "
                                      "would be lost; the file was not changed");
      case reason::damaged:
        break;
    }
    return vantrel_io::io_message("exception_apev2_tag_damaged",
                                  "The tags at the end of the file are damaged; the file was not changed");
  }
};
