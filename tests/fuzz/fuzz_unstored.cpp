// Feeds arbitrary bytes to the reader of the edits kept at the program's
// end: whatever it takes as an edit is written and read back the same.

#include "fuzzsupport.h"

#include "data/unstorededits.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QJsonObject file;
    if (!Container::decode(Fuzz::bytes(data, size), file))
        return 0;
    for (const UnstoredEdit &edit : UnstoredEdits::fromJson(file)) {
        Fuzz::check(edit.editor >= UnstoredEdit::Preset && edit.editor <= UnstoredEdit::Client, "a known editor");
        Fuzz::check(edit.pool >= 0 && edit.pool <= 2 && edit.twin >= 0, "numbers in range");
        UnstoredEdit again;
        Fuzz::check(UnstoredEdit::fromJson(edit.toJson(), again), "an edit written reads back");
        Fuzz::check(again.toJson() == edit.toJson(), "an edit written reads back the same");
    }
    return 0;
}
