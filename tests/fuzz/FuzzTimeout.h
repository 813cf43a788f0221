// The time limit of one fuzz input. An input that runs longer is a hang (a reader or a layout that stops
// advancing) and is reported like a crash; libFuzzer's own limit of twenty minutes would let one pass
// as a slow input. A "-timeout=N" given on the command line wins.
#pragma once

#include <cstring>
#include <vector>

namespace FuzzTimeout {

// Seconds: far above what any input takes under the sanitizers, far below a hang.
inline constexpr char kDefault[] = "-timeout=10";

// Called from LLVMFuzzerInitialize, whose arguments libFuzzer parses afterwards.
inline void apply(int* argc, char*** argv) {
    for (int i = 1; i < *argc; ++i)
        if (std::strncmp((*argv)[i], "-timeout=", 9) == 0)
            return;
    static std::vector<char*> args;
    args.assign(*argv, *argv + *argc);
    args.insert(args.begin() + 1, const_cast<char*>(kDefault));
    args.push_back(nullptr);
    *argv = args.data();
    ++*argc;
}

} // namespace FuzzTimeout
