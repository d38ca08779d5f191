// The six column texts of arbitrary record bytes. The record is the fuzz
// input in a block of its own size (at least a record with an empty Path2),
// whose last byte is a NUL so that Path2 ends within it; Path1 may lack its
// NUL. Each column is built in a scratch block of exactly the row's scratch
// size, one column after the other as the list rendering does, and every
// text ends within its block.
#include "event/call_row_texts.h"
#include "fuzz_bytes.h"

namespace {

constexpr size_t kRecordMin = 400 + 1; // up to Path2 and its NUL
constexpr size_t kRecordMax = 400 + 4096;

size_t TextLenWithin(const char* text, size_t room) {
    const void* nul = memchr(text, '\0', room);
    FUZZ_CHECK(nul != nullptr);
    return static_cast<const char*>(nul) - text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > kRecordMax)
        return 0;
    const size_t recordSize = size + 1 < kRecordMin ? kRecordMin : size + 1;
    HeapText record = Block(recordSize, 0);
    if (size != 0)
        memcpy(record.get(), data, size);
    record.get()[recordSize - 1] = '\0';
    const IfsCallRec* rec = reinterpret_cast<const IfsCallRec*>(record.get());

    // One scratch block reused by every column, as RenderCallRow does.
    HeapText shared = Block(kRowScratchSize, 0xA5);
    for (int column = 0; column < kCallColumnCount; ++column) {
        const char* text = CallColumnText(rec, column, shared.get());
        const bool inScratch = text >= shared.get() && text < shared.get() + kRowScratchSize;
        if (inScratch)
            TextLenWithin(text, static_cast<size_t>(shared.get() + kRowScratchSize - text));
        else
            FUZZ_CHECK(strlen(text) < kRowScratchSize); // a constant table's word
    }

    // The whole row at once: each column's text equals the one built alone.
    static char scratch[kCallColumnCount][kRowScratchSize];
    const char* texts[kCallColumnCount];
    CallRowTexts(rec, texts, scratch);
    for (int column = 0; column < kCallColumnCount; ++column) {
        HeapText alone = Block(kRowScratchSize, 0x5A);
        const char* text = CallColumnText(rec, column, alone.get());
        FUZZ_CHECK(strcmp(text, texts[column]) == 0);
    }
    // The Data text is never empty when the record names a path.
    if (rec->Path1[0] != '\0')
        FUZZ_CHECK(texts[kColData][0] != '\0');
    return 0;
}
