// A plain PNG writer for pictures that go into a package at once (the report's formula picture): true
// colour, one cheap row filter, deflated at the fastest level. Several times cheaper than a general encoder
// that searches the best filter for every row, at a size that is the same for drawn pictures.
#pragma once

#include <QByteArray>
#include <QImage>

namespace Platform {

// The picture as PNG bytes (8-bit RGB, or 8-bit grey for a greyscale image); throws EError when the
// picture is empty or the compressor fails.
QByteArray EncodePng(const QImage& image);

} // namespace Platform
