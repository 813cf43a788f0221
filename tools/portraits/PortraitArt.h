// The demo portraits: 48 stylised greyscale faces (six series of eight), drawn from a seed so that every
// build makes the same set, and encoded as JPEG with libjpeg. The build writes them into the program
// directory where no picture is present; tests write them into their temporary program directories.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

namespace Portraits {

// Size of a portrait photograph.
constexpr int kWidth = 162;
constexpr int kHeight = 246;

// The demo portrait of `portrait` (1 to 8) in `series` (1 to 6), greyscale.
QImage DrawPortrait(int series, int portrait);

// A greyscale JPEG of the image (converted to grey first). Throws std::runtime_error on failure.
QByteArray EncodeJpeg(const QImage& image, int quality = 88);

// Writes Ser1..Ser6/Photo1..Photo8.jpg under `imagesDir` (created when missing). Files that exist are
// kept unless `overwrite`; returns the number of files written. Throws std::runtime_error when a folder
// or file cannot be written.
int WritePortraitSet(const QString& imagesDir, bool overwrite = false);

} // namespace Portraits
