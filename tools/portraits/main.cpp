// make-portraits <images dir>: writes the demo portraits that are missing under the folder.
#include "tools/portraits/PortraitArt.h"

#include <cstdio>
#include <exception>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-portraits <images dir>\n");
        return 2;
    }
    try {
        const int written = Portraits::WritePortraitSet(QString::fromLocal8Bit(argv[1]));
        if (written > 0)
            std::printf("make-portraits: %d portraits written\n", written);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make-portraits: %s\n", e.what());
        return 1;
    }
    return 0;
}
