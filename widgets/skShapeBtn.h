#pragma once
// A button whose face is a filled shape (or a polygon of coordinate
// expressions) with a 3-D rim, and whose window shape is that shape.
#include <QPolygon>
#include <QStringList>

#include "widgets/skImgBtn.h"

enum TskButtonShape { bsRoundRect, bsEllipse, bsTriangle, bsArrow, bsDiamond, bsRect, bsStar, bsTrapezoid, bsCustom };
enum TskShapeOrientation { soLeft, soRight, soUp, soDown };

class TskCustomShapeBtn : public TskCustomImageBtn {
    Q_OBJECT
public:
    Q_INVOKABLE explicit TskCustomShapeBtn(QWidget* parent = nullptr);

    TskButtonShape Shape() const { return FShape; }
    void SetShape(TskButtonShape v);
    TskShapeOrientation Orientation() const { return FOrientation; }
    void SetOrientation(TskShapeOrientation v);
    const std::vector<std::string>& PointList() const { return FPointList; }
    void SetPointList(const std::vector<std::string>& v);
    int RoundRectBias() const { return FRoundRectBias; }
    void SetRoundRectBias(int v);

    virtual bool IsRoundShape() const { return FShape == bsRoundRect || FShape == bsEllipse; }
    void Assign(const TskCustomBitBtn& source) override;
    bool UsesRegion() const override { return true; }
    bool RegionChangesWithState() const override { return false; }
    bool HasRegionData() const override { return false; }
    void SizeToContent() override;

    // The closed outline (first corner repeated) for the current size. A bad
    // point list raises; the shape is then the rectangle and no point is kept.
    QPolygon ShapePoints();
    TColor ShapeKeyColor() const;
    TColor ShapeFillColor() const;

protected:
    std::optional<QRegion> CreateRegion(bool create, bool down) override;
    void DrawFace(TskBitmap& bitmap, bool regionPass, bool down, TskShadeStyle style) override;

private:
    void DrawRim(QPainter& canvas, const QPolygon& points);
    TskButtonShape FShape = bsRect;
    TskShapeOrientation FOrientation = soUp;
    std::vector<std::string> FPointList;
    int FRoundRectBias = 25;
};

class TskShapeBtn : public TskCustomShapeBtn {
    Q_OBJECT
public:
    Q_INVOKABLE explicit TskShapeBtn(QWidget* parent = nullptr) : TskCustomShapeBtn(parent) {}
};
