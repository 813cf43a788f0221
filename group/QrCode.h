// A QR code of a short text (the session's address) as a picture, through libqrencode.
#pragma once

#include <QImage>
#include <QString>

namespace Group {

// Black modules on white with the quiet zone of four modules around, each module `scale` pixels; a null
// image when the text cannot be encoded.
QImage QrImage(const QString& text, int scale);

} // namespace Group
