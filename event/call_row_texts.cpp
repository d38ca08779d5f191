#include "event/call_row_texts.h"

#include "event/ifs_vocab.h"
#include "text/str_prim.h"
#include "text/text_format.h"

namespace {

constexpr int kDataTextMax = kRowScratchSize - 1; // bytes before the terminator

// The most that the function's own items add to the Data text, separators
// included: READ or WRITE with every number at its widest and all three
// option words ("FFFF FFFFFFFF bytes at FFFFFFFF into FFFFFFFF, NO_CACHE,
// SWAPPER, MM" behind ", ").
constexpr int kFuncItemsMax = 2 + 45 + 10 + 9 + 4;

bool IsLeadByte(char c) {
    const uint8_t b = static_cast<uint8_t>(c);
    return b >= 0x81 && b <= 0xFE;
}

char* PutChar(char* end, char c) {
    *end++ = c;
    *end = '\0';
    return end;
}

// Opens a new item: ", " unless the text is still empty.
char* PutSeparator(const char* begin, char* end) {
    if (end != begin) {
        *end++ = ',';
        *end++ = ' ';
    }
    *end = '\0';
    return end;
}

char* PutItem(const char* begin, char* end, const char* item) {
    return FmtCopy(PutSeparator(begin, end), item);
}

// Appends the word of every bit of byte that is set, in table order.
template <size_t N>
char* PutFlagWords(const char* begin, char* end, const FlagWord (&set)[N], uint32_t byte) {
    for (const FlagWord& f : set) {
        if ((byte & f.Bit) != 0)
            end = PutItem(begin, end, f.Word);
    }
    return end;
}

// The items that depend on the function. The text from begin to end is not
// empty when begin != end; at most kFuncItemsMax bytes and a NUL are added.
char* PutFuncItems(const char* begin, char* end, const IfsCallRec* rec) {
    const uint32_t sfn = RecU16(rec, kOffSfn);
    const uint32_t flags = RecU8(rec, kOffFlags);
    switch (rec->Func) {
    case IFSFN_READ:
    case IFSFN_WRITE:
        end = FmtHex(PutSeparator(begin, end), sfn);
        end = FmtHex(PutChar(end, ' '), RecU32(rec, kOffLength));
        end = FmtHex(FmtCopy(end, " bytes at "), RecU32(rec, kOffPos));
        end = FmtCopy(PutChar(end, ' '), TransferWord(rec->Func));
        end = FmtHex8(PutChar(end, ' '), RecU32(rec, kOffData));
        return PutFlagWords(begin, end, RwOptionFlags, RecU8(rec, kOffRwOptions));
    case IFSFN_FINDNEXT:
    case IFSFN_FINDCLOSE:
        return FmtHex8(PutSeparator(begin, end), RecU32(rec, kOffFh));
    case IFSFN_SEEK:
        end = FmtHex(PutSeparator(begin, end), sfn);
        end = FmtHex(FmtCopy(end, " to "), RecU32(rec, kOffPos));
        return FmtCopy(FmtCopy(end, " from "), MszEntry(SeekFromNames, flags));
    case IFSFN_CLOSE:
        end = FmtHex(PutSeparator(begin, end), sfn);
        return PutFlagWords(begin, end, HandleOptionFlagsClose, RecU8(rec, kOffOptions));
    case IFSFN_COMMIT:
        end = FmtHex(PutSeparator(begin, end), sfn);
        return PutFlagWords(begin, end, HandleOptionFlagsCommit, RecU8(rec, kOffOptions));
    case IFSFN_FILELOCKS:
        end = PutItem(begin, end, LockWord(flags));
        end = FmtHex(PutSeparator(begin, end), sfn);
        end = FmtHex(PutChar(end, ' '), RecU32(rec, kOffAux2));
        end = FmtHex(FmtCopy(end, " at "), RecU32(rec, kOffPos));
        return PutFlagWords(begin, end, LockOptionFlags, RecU8(rec, kOffOptions));
    case IFSFN_FILETIMES:
        end = FmtHex(PutSeparator(begin, end), sfn);
        return FmtCopy(PutChar(end, ' '), MszEntry(FileTimeOpNames, flags));
    case IFSFN_DIR:
        end = PutItem(begin, end, MszEntry(DirOpNames, flags));
        return PutFlagWords(begin, end, DirPathFlags, RecU8(rec, kOffDirFlags));
    default:
        *end = '\0';
        return end;
    }
}

// The Data text under construction, held within scratch: no byte is written
// past stop but the terminator. Once a piece does not fit, the text is cut
// there and nothing more is appended, so a cut text is a prefix of the full
// one.
struct BoundedText {
    char* begin;
    char* end;
    char* stop;
    bool cut;
};

// Appends bytes up to max of them or up to a NUL, as far as the room allows.
void PutBounded(BoundedText* t, const char* bytes, uint32_t max) {
    for (; max != 0 && *bytes != '\0'; --max) {
        if (t->end == t->stop) {
            t->cut = true;
            return;
        }
        *t->end++ = *bytes++;
    }
}

// Appends a name as one item; a name is read no further than max bytes.
void PutNameItem(BoundedText* t, const char* name, uint32_t max) {
    if (t->end != t->begin)
        PutBounded(t, ", ", 2);
    PutBounded(t, name, max);
}

// A cut may split a double-byte character: walking the text from its start,
// a lead byte takes the next byte as its trail; a lead byte left without one
// at the end is dropped.
void DropLoneLeadByte(BoundedText* t) {
    char* p = t->begin;
    while (p < t->end) {
        if (!IsLeadByte(*p)) {
            ++p;
        } else if (p + 1 == t->end) {
            t->end = p;
        } else {
            p += 2;
        }
    }
}

const char* DataText(const IfsCallRec* rec, char* scratch) {
    BoundedText t = {scratch, scratch, scratch + kDataTextMax, false};
    if (rec->Func == IFSFN_OPEN)
        t.end = FmtHex(scratch, RecU16(rec, kOffSfn));
    // Path1 is read within its field even when the driver left no NUL in it.
    if (rec->Path1[0] != '\0')
        PutNameItem(&t, rec->Path1, kPath1Size);
    if (rec->Path2[0] != '\0')
        PutNameItem(&t, rec->Path2, UINT32_MAX);
    if (!t.cut) {
        if (t.stop - t.end >= kFuncItemsMax) {
            t.end = PutFuncItems(scratch, t.end, rec);
        } else {
            // Near the end of the room: build the items aside and take what
            // fits. The text is far from empty here, hence the stand-in byte
            // before the items.
            char tail[1 + kFuncItemsMax + 1];
            tail[0] = '.';
            const char* tailEnd = PutFuncItems(tail, tail + 1, rec);
            PutBounded(&t, tail + 1, static_cast<uint32_t>(tailEnd - tail - 1));
        }
    }
    if (t.cut)
        DropLoneLeadByte(&t);
    *t.end = '\0';
    return scratch;
}
static_assert(kFuncItemsMax < kDataTextMax, "the items are built aside only behind other text");

const char* FunctionText(const IfsCallRec* rec, char* scratch) {
    const int32_t func = rec->Func;
    const int32_t position = IfsFuncPosition(func);
    if (func < 0 || func > 255 || position < 0) {
        FmtCopy(FmtDec(scratch, func), "<unknown>");
        return scratch;
    }
    return IfsFuncName(position);
}

const char* DriveText(const IfsCallRec* rec, char* scratch) {
    scratch[0] = static_cast<char>(static_cast<uint32_t>(rec->Drive) + 64u);
    scratch[1] = ':';
    scratch[2] = '\0';
    return scratch;
}

const char* ResTypeText(const IfsCallRec* rec, char* scratch) {
    scratch[0] = '\0';
    PutFlagWords(scratch, scratch, ResTypeFlags, rec->ResType & 0xFF);
    return scratch;
}

const char* ResultText(const IfsCallRec* rec, char* scratch) {
    if (rec->Result < kResultNameCount)
        return ResultName(rec->Result);
    FmtDec(FmtCopy(scratch, "UnknownError-"), rec->Result);
    return scratch;
}

} // namespace

const char* CallColumnText(const IfsCallRec* rec, int column, char* scratch) {
    switch (column) {
    case kColFunction:
        return FunctionText(rec, scratch);
    case kColDrive:
        return DriveText(rec, scratch);
    case kColResType:
        return ResTypeText(rec, scratch);
    case kColCodePage:
        return CodePageWord(rec->CodePage);
    case kColResult:
        return ResultText(rec, scratch);
    case kColData:
        return DataText(rec, scratch);
    default:
        scratch[0] = '\0';
        return scratch;
    }
}

void CallRowTexts(const IfsCallRec* rec, const char* texts[kCallColumnCount],
                  char scratch[kCallColumnCount][kRowScratchSize]) {
    for (int column = 0; column < kCallColumnCount; ++column)
        texts[column] = CallColumnText(rec, column, scratch[column]);
}
