// The program's own pictures: the action icons and the logo, drawn with QPainter at the size and
// screen scale they are shown at, so no image files are needed and nothing is a scaled bitmap.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace Icons {

enum class Kind {
    NewDB,
    OpenDB,
    Exit,
    AddTest,
    EditTest,
    DelTest,
    SeekTest,
    InputTest,
    ResultTest,
    Option,
    Group,
    Help,
    InternetHelp,
    About,
    Back,
    Forward,
    Print,
    Spreadsheet, // export of the results to a workbook
    Pdf,
    Close,
    App // the program's own icon (windows, desktop menu)
};

QIcon icon(Kind kind);
// The logo: eight small portraits in two rows, two marked as sympathetic and two as unpleasant.
// `devicePixelRatio` of the screen it is shown on (the pixmap has that many pixels per unit).
QPixmap logo(int width, int height, qreal devicePixelRatio = 1.0);

} // namespace Icons
