// Outline drawing for brackets and braces of the formula engine.
#include "formula/ExprOutlines.h"

#include <QPainter>

#include <algorithm>

namespace Outlines {

void fillAndStroke(QPainter& painter, const QPainterPath& path) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    // Integer coordinates name pixels; their centres lie half a pixel further.
    painter.translate(0.5, 0.5);
    painter.drawPath(path);
    painter.restore();
}

void fillAndStrokeStraight(QPainter& painter, const QPolygon& polygon) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.drawPolygon(polygon);
    painter.restore();
}

void paintCurly(QPainter& painter, int x, int top, int bottom, int width, int lineX, int lineY,
                bool closing) {
    // Built for the opening brace in coordinates relative to the outer edge, mirrored for the closing one.
    const double w = width;
    const double tip = 0.5 * lineX;                   // the point on the middle row
    const double stem = 3.5 * lineX;                  // centre line of the two stems
    const double thin = std::max(0.45, 0.45 * lineX); // half thickness of the stems (the pen adds a pixel)
    const double end = w - 0.8 * lineX;               // where the hooks end
    const double t = top;
    const double b = bottom;
    const double m = (t + b) / 2.0;
    const double r = std::min(3.0 * lineY + 0.12 * (b - t) / 2.0, (b - t) / 4.0); // hook radius
    const double endThick = std::max(0.6, 0.6 * lineY);
    auto X = [&](double u) { return closing ? x + (w - 1) - u : x + u; };

    QPainterPath path;
    // Outer side: from the upper end down to the point and on to the lower end.
    path.moveTo(X(end), t);
    path.cubicTo(X(stem - 0.2 * r), t, X(stem - thin), t + 0.3 * r, X(stem - thin), t + r);
    path.lineTo(X(stem - thin), m - r);
    path.cubicTo(X(stem - thin), m - 0.35 * r, X(tip + 0.4 * lineX), m - 0.1 * r, X(tip), m);
    path.cubicTo(X(tip + 0.4 * lineX), m + 0.1 * r, X(stem - thin), m + 0.35 * r, X(stem - thin), m + r);
    path.lineTo(X(stem - thin), b - r);
    path.cubicTo(X(stem - thin), b - 0.3 * r, X(stem - 0.2 * r), b, X(end), b);
    // Inner side back up.
    path.lineTo(X(end), b - endThick);
    path.cubicTo(X(stem + 0.3 * r), b - endThick, X(stem + thin), b - 0.5 * r, X(stem + thin), b - r);
    path.lineTo(X(stem + thin), m + r);
    path.cubicTo(X(stem + thin), m + 0.45 * r, X(stem - 0.2 * lineX), m + 0.1 * r, X(tip), m);
    path.cubicTo(X(stem - 0.2 * lineX), m - 0.1 * r, X(stem + thin), m - 0.45 * r, X(stem + thin), m - r);
    path.lineTo(X(stem + thin), t + r);
    path.cubicTo(X(stem + thin), t + 0.5 * r, X(stem + 0.3 * r), t + endThick, X(end), t + endThick);
    path.closeSubpath();
    fillAndStroke(painter, path);
}

} // namespace Outlines
