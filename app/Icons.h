// The program's own pictures: 16×16 action icons and the logo, drawn with QPainter so no image files
// are needed.
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
    About
};

QIcon icon(Kind kind);
// The logo: eight small portraits in two rows, two marked as sympathetic and two as unpleasant.
QPixmap logo(int width, int height);

} // namespace Icons
