// The portraits as the browser page asks for them: scaled to the width a device shows them at, from a
// few fixed widths, and encoded as JPEG once per width. Used on the server's thread only.
#pragma once

#include <QByteArray>
#include <QHash>

namespace Group {

class TPortraits {
public:
    // The width served for a request of `width` device pixels: the smallest fixed width that covers it,
    // the largest for anything wider.
    static int WidthFor(int width);

    // Portrait `digit` of series `series` at about `width` pixels wide, as a JPEG file; a picture narrower
    // than that is served as it is stored. Empty when the picture cannot be read.
    QByteArray Picture(int series, int digit, int width);

private:
    QHash<quint32, QByteArray> m_cache;
};

} // namespace Group
