// Entry of the program.
#include "platform/ErrorDisplay.h"

int main(int argc, char** argv) {
    Platform::TApplication app(argc, argv);
    return 0;
}
