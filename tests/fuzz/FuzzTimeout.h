// The time limit of one fuzz input: a longer run is a hang (a reader or a layout that stops advancing),
// reported like a crash, where libFuzzer's own twenty minutes would let it pass. "-timeout=N" given on
// the command line wins.
#pragma once

#include <cstring>
#include <vector>

// Called from LLVMFuzzerInitialize, whose arguments libFuzzer parses afterwards.
inline void ApplyFuzzTimeout(int* argc, char*** argv) {
    static std::vector<char*> args(*argv, *argv + *argc);
    for (char* arg : args)
        if (std::strncmp(arg, "-timeout=", 9) == 0)
            return;
    static char limit[] = "-timeout=10"; // seconds: far above any input under the sanitizers
    args.insert(args.begin() + 1, limit);
    args.push_back(nullptr);
    *argv = args.data();
    ++*argc;
}
