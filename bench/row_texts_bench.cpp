// The cost of turning call records into the six column texts, against a
// baseline that does only the unavoidable part of that work: it formats the
// same numbers with the same formatters and copies the same names and words
// into the scratch texts, following a plan made per record in advance. The
// plan's texts are checked against CallRowTexts before anything is timed.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "event/call_row_texts.h"
#include "event/ifs_vocab.h"
#include "mixed_trace.h"
#include "text/str_prim.h"
#include "text/text_format.h"

namespace {

enum class Op : uint8_t { Copy, Ref, Hex, Hex8, Dec, EndColumn };

struct Step {
    Op op;
    uint32_t value;
    const char* text;
};

// The steps that rebuild one record's six texts.
struct PlanBuilder {
    std::vector<Step>* steps;
    bool lean;         // words the program hands over from its tables are not copied
    bool open = false; // an item list has an item

    void Copy(const char* text) { steps->push_back({Op::Copy, 0, text}); }
    // A whole column that is a word of a constant table.
    void Word(const char* text) { steps->push_back({lean ? Op::Ref : Op::Copy, 0, text}); }
    void Hex(uint32_t v) { steps->push_back({Op::Hex, v, nullptr}); }
    void Hex8(uint32_t v) { steps->push_back({Op::Hex8, v, nullptr}); }
    void Dec(int32_t v) { steps->push_back({Op::Dec, static_cast<uint32_t>(v), nullptr}); }
    void End() {
        steps->push_back({Op::EndColumn, 0, nullptr});
        open = false;
    }
    void Item() {
        if (open)
            Copy(", ");
        open = true;
    }
    template <size_t N> void Words(const FlagWord (&set)[N], uint32_t byte) {
        for (const FlagWord& f : set)
            if (byte & f.Bit) {
                Item();
                Copy(f.Word);
            }
    }
};

// Drive letters as texts, so that the Drive column is a copy like the rest.
char gDriveTexts[256][3];

void PlanRecord(const IfsCallRec* rec, bool lean, std::vector<Step>* steps) {
    PlanBuilder b{steps, lean};
    const int32_t func = rec->Func;
    const int32_t position = IfsFuncPosition(func);
    if (func < 0 || func > 255 || position < 0) {
        b.Dec(func);
        b.Copy("<unknown>");
    } else {
        b.Word(IfsFuncName(position));
    }
    b.End();
    b.Copy(gDriveTexts[static_cast<uint8_t>(rec->Drive + 64)]);
    b.End();
    b.Words(ResTypeFlags, rec->ResType & 0xFF);
    b.End();
    b.Word(CodePageWord(rec->CodePage));
    b.End();
    if (rec->Result < kResultNameCount) {
        b.Word(ResultName(rec->Result));
    } else {
        b.Copy("UnknownError-");
        b.Dec(rec->Result);
    }
    b.End();

    const uint32_t sfn = RecU16(rec, kOffSfn);
    const uint32_t flags = RecU8(rec, kOffFlags);
    if (func == IFSFN_OPEN) {
        b.Item();
        b.Hex(sfn);
    }
    if (rec->Path1[0]) {
        b.Item();
        b.Copy(rec->Path1);
    }
    if (rec->Path2[0]) {
        b.Item();
        b.Copy(rec->Path2);
    }
    switch (func) {
    case IFSFN_READ:
    case IFSFN_WRITE:
        b.Item();
        b.Hex(sfn);
        b.Copy(" ");
        b.Hex(RecU32(rec, kOffLength));
        b.Copy(" bytes at ");
        b.Hex(RecU32(rec, kOffPos));
        b.Copy(" ");
        b.Copy(TransferWord(func));
        b.Copy(" ");
        b.Hex8(RecU32(rec, kOffData));
        b.Words(RwOptionFlags, RecU8(rec, kOffRwOptions));
        break;
    case IFSFN_FINDNEXT:
    case IFSFN_FINDCLOSE:
        b.Item();
        b.Hex8(RecU32(rec, kOffFh));
        break;
    case IFSFN_SEEK:
        b.Item();
        b.Hex(sfn);
        b.Copy(" to ");
        b.Hex(RecU32(rec, kOffPos));
        b.Copy(" from ");
        b.Copy(MszEntry(SeekFromNames, flags));
        break;
    case IFSFN_CLOSE:
    case IFSFN_COMMIT:
        b.Item();
        b.Hex(sfn);
        if (func == IFSFN_CLOSE)
            b.Words(HandleOptionFlagsClose, RecU8(rec, kOffOptions));
        else
            b.Words(HandleOptionFlagsCommit, RecU8(rec, kOffOptions));
        break;
    case IFSFN_FILELOCKS:
        b.Item();
        b.Copy(LockWord(flags));
        b.Item();
        b.Hex(sfn);
        b.Copy(" ");
        b.Hex(RecU32(rec, kOffAux2));
        b.Copy(" at ");
        b.Hex(RecU32(rec, kOffPos));
        b.Words(LockOptionFlags, RecU8(rec, kOffOptions));
        break;
    case IFSFN_FILETIMES:
        b.Item();
        b.Hex(sfn);
        b.Copy(" ");
        b.Copy(MszEntry(FileTimeOpNames, flags));
        break;
    case IFSFN_DIR:
        b.Item();
        b.Copy(MszEntry(DirOpNames, flags));
        b.Words(DirPathFlags, RecU8(rec, kOffDirFlags));
        break;
    }
    b.End();
}

// Runs a record's steps into the six scratch texts; returns the step after them.
const Step* RunPlan(const Step* s, const char* texts[kCallColumnCount],
                    char scratch[kCallColumnCount][kRowScratchSize]) {
    for (int column = 0; column < kCallColumnCount; ++column) {
        char* end = scratch[column];
        *end = '\0';
        texts[column] = end;
        for (; s->op != Op::EndColumn; ++s) {
            switch (s->op) {
            case Op::Copy:
                end = FmtCopy(end, s->text);
                break;
            case Op::Ref:
                texts[column] = s->text;
                break;
            case Op::Hex:
                end = FmtHex(end, s->value);
                break;
            case Op::Hex8:
                end = FmtHex8(end, s->value);
                break;
            case Op::Dec:
                end = FmtDec(end, static_cast<int32_t>(s->value));
                break;
            case Op::EndColumn:
                break;
            }
        }
        ++s;
    }
    return s;
}

struct Workload {
    std::vector<std::vector<uint8_t>> records;
    std::vector<const IfsCallRec*> recs;
    std::vector<Step> plan;     // every name and word copied
    std::vector<Step> leanPlan; // whole-column table words referenced, not copied
};

const Workload& Load() {
    static Workload w = [] {
        for (int c = 0; c < 256; ++c) {
            gDriveTexts[c][0] = static_cast<char>(c);
            gDriveTexts[c][1] = ':';
        }
        Workload w;
        w.records = MixedRecords();
        for (const auto& r : w.records) {
            w.recs.push_back(reinterpret_cast<const IfsCallRec*>(r.data()));
            PlanRecord(w.recs.back(), false, &w.plan);
            PlanRecord(w.recs.back(), true, &w.leanPlan);
        }
        // The baseline must produce exactly the program's texts.
        static char a[kCallColumnCount][kRowScratchSize];
        static char b[kCallColumnCount][kRowScratchSize];
        for (const std::vector<Step>* plan : {&w.plan, &w.leanPlan}) {
            const Step* s = plan->data();
            for (const IfsCallRec* rec : w.recs) {
                const char* texts[kCallColumnCount];
                const char* planned[kCallColumnCount];
                CallRowTexts(rec, texts, a);
                s = RunPlan(s, planned, b);
                for (int c = 0; c < kCallColumnCount; ++c)
                    if (std::strcmp(texts[c], planned[c]) != 0) {
                        std::fprintf(stderr, "baseline differs in column %d: '%s' / '%s'\n", c,
                                     texts[c], planned[c]);
                        std::abort();
                    }
            }
        }
        return w;
    }();
    return w;
}

void BM_CallRowTexts(benchmark::State& state) {
    const Workload& w = Load();
    static char scratch[kCallColumnCount][kRowScratchSize];
    for (auto _ : state) {
        for (const IfsCallRec* rec : w.recs) {
            const char* texts[kCallColumnCount];
            CallRowTexts(rec, texts, scratch);
            benchmark::DoNotOptimize(texts);
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(w.recs.size()));
}
BENCHMARK(BM_CallRowTexts);

void BM_Baseline(benchmark::State& state, const std::vector<Step> Workload::*plan) {
    const Workload& w = Load();
    static char scratch[kCallColumnCount][kRowScratchSize];
    for (auto _ : state) {
        const Step* s = (w.*plan).data();
        for (size_t i = 0; i < w.recs.size(); ++i) {
            const char* texts[kCallColumnCount];
            s = RunPlan(s, texts, scratch);
            benchmark::DoNotOptimize(texts);
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(w.recs.size()));
}
// The copying baseline, and the lean one in which the columns that the
// program takes straight from its tables (known Function names, CodePage,
// known Result names) are referenced as the program does.
BENCHMARK_CAPTURE(BM_Baseline, copy, &Workload::plan);
BENCHMARK_CAPTURE(BM_Baseline, lean, &Workload::leanPlan);

} // namespace

BENCHMARK_MAIN();
