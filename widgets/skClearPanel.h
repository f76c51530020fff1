#pragma once
// A panel that can let its parent show through: when transparent it paints
// only its bevels and border. The base of the button group.
#include <QWidget>
#include <string>

#include "widgets/skColor.h"

enum TPanelBevel { bvNone, bvLowered, bvRaised };

class TskCustomTransparentPanel : public QWidget {
    Q_OBJECT
public:
    explicit TskCustomTransparentPanel(QWidget* parent = nullptr);

    virtual bool Transparent() const { return FTransparent; }
    virtual void SetTransparent(bool v);
    TPanelBevel BevelOuter() const { return FBevelOuter; }
    void SetBevelOuter(TPanelBevel v);
    TPanelBevel BevelInner() const { return FBevelInner; }
    void SetBevelInner(TPanelBevel v);
    int BevelWidth() const { return FBevelWidth; }
    void SetBevelWidth(int v);
    int BorderWidth() const { return FBorderWidth; }
    void SetBorderWidth(int v);
    TColor Color() const { return FColor; }
    void SetColor(TColor v);
    const std::string& Caption() const { return FCaption; }
    void SetCaption(const std::string& v);

    // Transparent: the parent repaints under the panel, and every child.
    virtual void Invalidate();
    // The inside left by bevels and border.
    QRect ClientArea() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    virtual void PaintPanel(QPainter& canvas);

private:
    void ApplyAttributes();
    bool FTransparent = true;
    TPanelBevel FBevelOuter = bvRaised, FBevelInner = bvNone;
    int FBevelWidth = 1, FBorderWidth = 0;
    TColor FColor = clBtnFace;
    std::string FCaption;
};
