#include <gauges/lcdsegments.h>

namespace {

QPolygonF shiftedLeft(const QPolygonF &polygon, double dx)
{
    return polygon.translated(-dx, 0);
}

// The middle segment's hexagon, lengthened on the left by 8 px and on the
// right by the given amounts, placed at (x, y): the extra strokes of N and R.
QPolygonF longStroke(double x, double y, double s, double w, double a, double t, double toTop,
                     double toTip, double toBottom)
{
    return QPolygonF({{x + s + a / 2 + 8, y},
                      {x + s + a + 8, y - t},
                      {x + w - s - a + toTop, y - t},
                      {x + w - s - a / 2 + toTip, y},
                      {x + w - s - a + toBottom, y + t},
                      {x + s + a + 8, y + t}});
}

} // namespace

LcdSegments::LcdSegments(const Input &in)
{
    const double w = in.width;
    const double h = in.height;
    const double s = in.space;
    // Stroke width, half stroke height, gap and middle line follow the cell's size
    // in whole pixels.
    const double a = in.width / 10;
    const double t = in.height / 30;
    const double g = in.width / 30;
    const double m = in.height / 2;

    polygons[Top] =
        QPolygonF({{s + g, s}, {s + a + g, s + 2 * t}, {w - a - g - s, s + 2 * t}, {w - g - s, s}});
    polygons[UpperLeft] = QPolygonF(
        {{s, s}, {s + a, s + 2 * t}, {s + a, m - g - t}, {s + a / 2, m - g}, {s, m - g - t}});
    polygons[UpperRight] = QPolygonF({{w - a - s, s + 2 * t},
                                      {w - s, s},
                                      {w - s, m - g - t},
                                      {w - a / 2 - s, m - g},
                                      {w - a - s, m - g - t}});
    polygons[Middle] = QPolygonF({{s + a / 2, m},
                                  {s + a, m - t},
                                  {w - a - s, m - t},
                                  {w - a / 2 - s, m},
                                  {w - a - s, m + t},
                                  {s + a, m + t}});
    polygons[LowerLeft] = QPolygonF({{s, m + g + t},
                                     {s + a / 2, m + g},
                                     {s + a, m + g + t},
                                     {s + a, h - 2 * t - s},
                                     {s, h - s}});
    polygons[LowerRight] = QPolygonF({{w - a - s, m + g + t},
                                      {w - a / 2 - s, m + g},
                                      {w - s, m + g + t},
                                      {w - s, h - s},
                                      {w - a - s, h - 2 * t - s}});
    polygons[Bottom] = QPolygonF({{s + g, h - s},
                                  {s + a + g, h - 2 * t - s},
                                  {w - a - g - s, h - 2 * t - s},
                                  {w - g - s, h - s}});
    polygons[UpperRightOfOne] = shiftedLeft(polygons[UpperRight], in.oneSpaceX);
    polygons[LowerRightOfOne] = shiftedLeft(polygons[LowerRight], in.oneSpaceX);

    const double legY = m + 15 - in.rLegOffsetY;
    polygons[LegOfR] = longStroke(in.rLegOffsetX, legY, s, w, a, t, 5, 0, 0);
    const double diagonalY = m + 15 - in.nDiagonalOffsetY;
    polygons[DiagonalOfN] = longStroke(in.nDiagonalOffsetX, diagonalY, s, w, a, t, 62, 65, 62);
}

LcdSegments::Glyph LcdSegments::glyph(int number)
{
    switch (number) {
    case 0:
        return {{UpperLeft, Top, UpperRight, LowerLeft, Bottom, LowerRight}, {}, 0};
    case 1:
        return {{UpperRightOfOne, LowerRightOfOne}, {}, 0};
    case 2:
        return {{Top, UpperRight, Middle, LowerLeft, Bottom}, {}, 0};
    case 3:
        return {{Top, UpperRight, Middle, Bottom, LowerRight}, {}, 0};
    case 4:
        return {{UpperLeft, UpperRight, Middle, LowerRight}, {}, 0};
    case 5:
        return {{UpperLeft, Top, Middle, Bottom, LowerRight}, {}, 0};
    case 6:
        return {{UpperLeft, Top, Middle, LowerLeft, Bottom, LowerRight}, {}, 0};
    case 7:
        return {{Top, UpperRight, LowerRight}, {}, 0};
    case 8:
        return {{UpperLeft, Top, UpperRight, Middle, LowerLeft, Bottom, LowerRight}, {}, 0};
    case 9:
        return {{UpperLeft, Top, UpperRight, Middle, Bottom, LowerRight}, {}, 0};
    case A:
        return {{UpperLeft, Top, UpperRight, Middle, LowerLeft, LowerRight}, {}, 0};
    case N:
        return {{UpperLeft, UpperRight, LowerLeft, LowerRight}, DiagonalOfN, 58};
    case R:
        return {{UpperLeft, Top, UpperRight, Middle, LowerLeft}, LegOfR, 30};
    default:
        return {}; // blank, and every number outside the table
    }
}
