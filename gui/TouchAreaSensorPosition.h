#pragma once

#include <QPointF>

#include <utility>

class QGraphicsRectItem;
class QGraphicsSimpleTextItem;

// The geometry of one mounting position of the sensor along the touch surface (at its top, left, bottom or
// right edge): scales the drawing to the room the view offers, places the touch active area, the sensor body
// and the orientation marker, tells how large the scene must be and where each corner label goes.
//
// The object keeps nothing of its own: it reads the view's numbers through the pointers at every call, so
// that every result follows the numbers and item visibilities of the moment. All values are in the sensor's
// units until multiplied by the scale factor. The view owns the items and the numbers.
class TouchAreaSensorPosition {
public:
    TouchAreaSensorPosition(QGraphicsRectItem* touchArea, QGraphicsRectItem* sensorBody, QGraphicsRectItem* marker,
                            int* minX, int* maxX, int* minY, int* maxY, int* sensorWidth, int* sensorHeight);

    // Computes the scale for the current numbers and places the three rectangles; flipSensor true means back
    // side up.
    virtual void UpdateScaling(double drawWidth, double drawHeight, double textWidth, double textHeight,
                               bool flipSensor) = 0;
    // (width, height) of what was drawn, in whole scene units.
    virtual std::pair<double, double> GetSceneSize() = 0;
    // Where the label of each corner of the area, in the sensor's coordinates, goes in the scene.
    virtual QPointF GetTopLeftTextPosition(QGraphicsSimpleTextItem* label) = 0;
    virtual QPointF GetTopRightTextPosition(QGraphicsSimpleTextItem* label) = 0;
    virtual QPointF GetBottomLeftTextPosition(QGraphicsSimpleTextItem* label) = 0;
    virtual QPointF GetBottomRightTextPosition(QGraphicsSimpleTextItem* label) = 0;

protected:
    // Never deleted through this type: the view owns the concrete positions.
    ~TouchAreaSensorPosition() = default;

    // The numbers every placement starts from.
    struct Terms {
        int tw = 0;  // touch area width, x1 - x0
        int th = 0;  // touch area height, y1 - y0
        bool areaShown = false;
        bool bodyShown = false;
        bool areaOnly = false;  // area shown, body hidden: the area is drawn at the origin
        int sWv = 0;            // sensor width when the body is shown, else 0
        int sHv = 0;            // sensor height when the body is shown, else 0
        int left = 0;           // x0 when areaOnly, else 0
        int top = 0;            // y0 when areaOnly, else 0
        bool front = false;     // front side up
        int bodyOffset = 0;     // th + y0 when the area is shown, else 0 (bottom and right positions)
    };
    Terms ComputeTerms(bool flipSensor) const;
    // The scale for a drawing of the given across and along extents; the along extent runs vertically when
    // alongIsVertical. An extent of 0 or less does not limit the scale; with none limiting it, the scale is 0.
    static double ScaleFactor(double drawWidth, double drawHeight, double allowance, int across, int along,
                              bool alongIsVertical);
    // The label allowance: the label's height when the area is drawn at least as wide as high, else its width.
    static double LabelAllowance(bool wide, double textWidth, double textHeight);
    // The across extent max(x1 - left, sWv) and the along extent y1 - top + sHv.
    int AcrossExtent(const Terms& terms) const;
    int AlongExtent(const Terms& terms) const;
    // Sets a rectangle from sensor units scaled by s.
    static void SetScaledRect(QGraphicsRectItem* item, double s, double x, double y, double width, double height);
    void PaintBody(bool front);

    // Scene sizes: the touch area's right and bottom edges and the body's size, each 0 for a hidden item.
    struct Extents {
        bool areaShown = false;
        bool bodyShown = false;
        double areaRight = 0;
        double areaBottom = 0;
        double areaHeight = 0;
        double bodyWidth = 0;
        double bodyHeight = 0;
        double bodyRight = 0;
        double bodyBottom = 0;
    };
    Extents GetExtents() const;
    static std::pair<double, double> Truncated(double width, double height);

    // A corner label, placed outside the area at the drawn corner (right or left, top or bottom): above or
    // below it when the area is drawn wide, beside it when drawn tall.
    QPointF LabelAt(QGraphicsSimpleTextItem* label, bool right, bool top, bool wide) const;
    // Whether the area is drawn at least as wide as high; the left and right positions turn it.
    bool IsWideAlongX() const;
    bool IsWideAlongY() const;

    QGraphicsRectItem* touchAreaItem;
    QGraphicsRectItem* sensorBodyItem;
    QGraphicsRectItem* markerItem;
    int* areaMinX;
    int* areaMaxX;
    int* areaMinY;
    int* areaMaxY;
    int* sensorWidth;
    int* sensorHeight;
    const int markerWidth = 30;
    const int markerLength = 90;
};
