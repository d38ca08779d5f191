// The six column texts of a list row, derived from one call record alone.
#pragma once

#include "event/ifs_call_rec.h"

constexpr int kRowScratchSize = 780; // the one heap block a row may use

enum CallColumn : int {
    kColFunction,
    kColDrive,
    kColResType,
    kColCodePage,
    kColResult,
    kColData,
    kCallColumnCount
};

// Text of one column. Texts from the constant tables are returned as they
// are; built texts are written into scratch (kRowScratchSize bytes) and
// scratch is returned. The Data text never exceeds scratch.
const char* CallColumnText(const IfsCallRec* rec, int column, char* scratch);

// All six texts at once, each built in its own scratch block.
void CallRowTexts(const IfsCallRec* rec, const char* texts[kCallColumnCount],
                  char scratch[kCallColumnCount][kRowScratchSize]);
