// Decoding of the portrait photographs: a JPEG file or buffer into a QImage through libjpeg, with an
// error manager that reports a corrupt or truncated picture as an error instead of ending the process
// or handing back a half-decoded image.
#pragma once

#include "platform/ErrorDisplay.h"

#include <QByteArray>
#include <QImage>
#include <QString>

namespace Platform {

// A picture that cannot be read: missing file, not a JPEG, corrupt or cut-off data.
class EJpegError : public EError {
public:
    using EError::EError;
};

// Decodes JPEG data: greyscale pictures as Format_Grayscale8, colour ones as Format_RGB888.
// Throws EJpegError with libjpeg's reason in the message; `name` names the picture in it.
QImage DecodeJpeg(const QByteArray& data, const QString& name = QString());

// Reads and decodes a JPEG file; the file is opened, read and closed here. Throws EJpegError.
QImage LoadJpeg(const QString& path);

} // namespace Platform
