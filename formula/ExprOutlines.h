// Filled outlines shared by the formula nodes: Bézier brackets and braces, straight stroked shapes.
#pragma once

#include <QPainterPath>
#include <QPolygon>

class QPainter;

namespace Outlines {

// Fills the path and strokes it with the painter's current pen, antialiased; pixel columns and rows given
// as integers address pixel centres.
void fillAndStroke(QPainter& painter, const QPainterPath& path);
// Fills and strokes a straight-edged polygon exactly on the pixels its vertices name (no smoothing).
void fillAndStrokeStraight(QPainter& painter, const QPolygon& polygon);
// A curly brace of the given width from row top to row bottom (inclusive), its point on the middle row
// and towards the outer side (left for an opening brace), with strokes lineX/lineY thick at the ends.
void paintCurly(QPainter& painter, int x, int top, int bottom, int width, int lineX, int lineY, bool closing);

} // namespace Outlines
