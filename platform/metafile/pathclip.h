// Cutting a path that is to be stroked down to a rectangle. The rasteriser's
// work for a stroke grows with the outline's whole extent, seen or not, so a
// line reaching far past the picture is cut to the picture (plus a margin
// wider than any join or cap) before it is stroked.
#pragma once

#include <QPainterPath>
#include <QRectF>

namespace vm {

// The parts of `path` (curves flattened) that lie inside `rect`. A subpath
// wholly inside is kept as it is, closed or open; one that crosses the edge
// becomes open runs that start and end on the edge, a closed one walked from
// a point outside so that every join inside stays a join.
QPainterPath linesWithin(const QPainterPath &path, const QRectF &rect);

// The part of `path` that lies inside `rect`, to be filled with the path's
// own fill rule (curves flattened): each subpath cut to the rectangle as a
// polygon, which keeps every point's winding number inside it. Unlike
// Qt's path clipper it copes with any coordinates, such as a subpath far
// thinner than a pixel.
QPainterPath areaWithin(const QPainterPath &path, const QRectF &rect);

// `path` without the subpaths that enclose nothing: thinner, one way or the
// other, than a billionth of their own size. Qt's path clipper crashes on
// such slivers; every boolean operation on paths from a file goes through
// this first.
QPainterPath withoutSlivers(const QPainterPath &path);

// What filling `path` with antialiasing costs the rasteriser, in steps of
// about 0.2 microseconds: it grows with each edge's height squared and with
// the cells per row, not with the area, so a 97-point star across a
// 1000 x 1400 page costs 10 million (1.5 s) and a page-sized ellipse some
// thousands. Only the part inside `rect` counts. `penWidth` > 0 prices the
// stroke of the path with that pen instead, whose outline has two sides.
double antialiasingCost(const QPainterPath &path, const QRectF &rect, double penWidth = 0);

// The same cost, and the pixels the fill (or the stroke) covers inside
// `rect`, at most: its bounding box there, or for a stroke its outline's
// length times the pen width if that is less.
struct RasterWork {
    double steps = 0;
    double pixels = 0;
};
RasterWork rasterWork(const QPainterPath &path, const QRectF &rect, double penWidth = 0);

} // namespace vm
