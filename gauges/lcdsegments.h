#pragma once

#include <QPolygonF>
#include <QVector>

#include <array>
#include <optional>

// The segment polygons of one seven-segment character cell, in widget pixels,
// and which of them each character lights. Free of painting so that the
// shapes can be checked on their own.
class LcdSegments
{
public:
    enum Segment
    {
        Top,
        UpperLeft,
        UpperRight,
        Middle,
        LowerLeft,
        LowerRight,
        Bottom,
        UpperRightOfOne,
        LowerRightOfOne,
        LegOfR,
        DiagonalOfN,
        SegmentCount
    };

    struct Input
    {
        int width = 0;
        int height = 0;
        int space = 0;
        int oneSpaceX = 0;
        int rLegOffsetX = 0;
        int rLegOffsetY = 0;
        int nDiagonalOffsetX = 0;
        int nDiagonalOffsetY = 0;
    };

    // What a character draws: straight segments in order, then at most one
    // stroke drawn turned clockwise about the widget's origin.
    struct Glyph
    {
        QVector<Segment> segments;
        std::optional<Segment> turned;
        double turnDegrees = 0.0;
    };

    static constexpr int A = 10;
    static constexpr int N = 11;
    static constexpr int R = 12;
    static constexpr int Blank = 13;

    explicit LcdSegments(const Input &in);

    const QPolygonF &polygon(Segment segment) const { return polygons[segment]; }

    // Digits 0 to 9, A, N, R and blank; any other number draws nothing.
    static Glyph glyph(int number);

private:
    std::array<QPolygonF, SegmentCount> polygons;
};
