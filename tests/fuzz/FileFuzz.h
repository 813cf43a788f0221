// One fuzzing step for each file reader of the program, shared by the libFuzzer targets and the corpus
// replay test: RTF instructions (read and laid out), JPEG portraits (decoded, scaled and full), and the
// report template (one part replaced, then read, edited with the template's operations as the export
// edits it, saved and read again).
// Each step lets through only the reader's own error for bad input; anything else is a fault.
#pragma once

#include <QByteArray>

namespace FileFuzz {

// Creates the GUI application the text layout needs (offscreen unless a platform is set) and reads
// the template's parts once; idempotent.
void init();

void rtf(const QByteArray& bytes);
void jpeg(const QByteArray& bytes);
// The first byte picks the template part the rest replaces (see kParts in FileFuzz.cpp); past the list
// of parts, the rest is taken as the whole package.
void templ(const QByteArray& bytes);

} // namespace FileFuzz
