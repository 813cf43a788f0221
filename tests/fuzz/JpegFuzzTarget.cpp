// libFuzzer entry of the jpeg reader: see FileFuzz.h for what one input does.
#include "FileFuzz.h"

#include "FuzzTimeout.h"

#include <cstddef>
#include <cstdint>

// The font configuration library keeps its caches until exit by design; they are not ours to free.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig\n"; }

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    ApplyFuzzTimeout(argc, argv);
    FileFuzz::init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FileFuzz::jpeg(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    return 0;
}
