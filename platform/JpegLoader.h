// Decoding of the portrait photographs: a JPEG file or buffer into a QImage through libjpeg, with an
// error manager that reports a corrupt or truncated picture as an error instead of ending the process
// or handing back a half-decoded image.
#pragma once

#include "platform/ErrorDisplay.h"

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

namespace Platform {

// A picture that cannot be read: missing file, not a JPEG, corrupt or cut-off data.
class EJpegError : public EError {
public:
    using EError::EError;
};

// What the decoded image is for: Natural keeps the picture's own colour model (Format_Grayscale8 for
// greyscale, Format_RGB888 for colour); Display gives Format_RGB32, which the screen paints without a
// further conversion (libjpeg writes it directly).
enum class TJpegTarget { Natural, Display };

// Pictures with a side longer than this are refused before any pixel is decoded: no portrait needs
// them, and a forged header must not make the loader ask for gigabytes.
inline constexpr int kMaxJpegSide = 8000;

// Decodes JPEG data. Throws EJpegError with libjpeg's reason in the message; `name` names the picture
// in it. With a valid `atLeast`, libjpeg scales the picture down while decoding (by n/8) to the
// smallest size that still covers `atLeast` in both directions; a smaller picture keeps its size.
QImage DecodeJpeg(const QByteArray& data, const QString& name = QString(),
                  TJpegTarget target = TJpegTarget::Natural, QSize atLeast = QSize());

// Reads and decodes a JPEG file; the file is opened, read and closed here. Throws EJpegError.
QImage LoadJpeg(const QString& path, TJpegTarget target = TJpegTarget::Natural, QSize atLeast = QSize());

} // namespace Platform
