// libFuzzer entry of the formula engine: every input is a formula text; only EIncorrectExpr may come out.
#include "FormulaFuzz.h"

#include "FuzzTimeout.h"

#include <cstddef>
#include <cstdint>

// The font configuration library keeps its caches until exit by design; they are not ours to free.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig\n"; }

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    ApplyFuzzTimeout(argc, argv);
    FormulaFuzz::init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    FormulaFuzz::layOut(FormulaFuzz::textOf(bytes));
    return 0;
}
