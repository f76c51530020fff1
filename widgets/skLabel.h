#pragma once
// A windowless label whose caption is drawn by the caption text renderer, so
// it can be rotated, shadowed, extruded, outlined or embossed.
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "widgets/skFont.h"
#include "widgets/skText.h"

class QShortcut;

class TskCustomLabel : public QWidget {
    Q_OBJECT
    // For forms: a form sets AutoSize before the geometry it means to keep.
    Q_PROPERTY(bool AutoSize READ AutoSize WRITE SetAutoSize)
    Q_PROPERTY(QString Caption READ CaptionText WRITE SetCaptionText)
public:
    explicit TskCustomLabel(QWidget* parent = nullptr);
    ~TskCustomLabel() override;

    bool AutoSize() const { return FAutoSize; }
    void SetAutoSize(bool v);
    const std::string& Caption() const { return FCaption; }
    void SetCaption(const std::string& v);
    QString CaptionText() const { return QString::fromStdString(FCaption); }
    void SetCaptionText(const QString& v) { SetCaption(v.toStdString()); }
    TColor Color() const { return FColor; }
    void SetColor(TColor v);
    QWidget* FocusControl() const { return FFocusControl; }
    void SetFocusControl(QWidget* v);
    TFont& Font() { return FFont; }
    TskCaptionText& TextOptions() { return *FTextOptions; }
    // Transparent: no background behind the caption.
    bool Transparent() const { return !testAttribute(Qt::WA_OpaquePaintEvent); }
    void SetTransparent(bool v);

    std::function<void(TskCustomLabel*)> OnClick, OnDblClick, OnMouseEnter, OnMouseLeave;

    // Fits the label to its caption (when AutoSize is on).
    void AdjustBounds();

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void UpdateAccelerator();

    bool FAutoSize = true;
    std::string FCaption;
    TColor FColor = clBtnFace;
    QPointer<QWidget> FFocusControl;
    TFont FFont;
    std::unique_ptr<TskCaptionText> FTextOptions;
    QShortcut* FShortcut = nullptr;
};

class TskLabel : public TskCustomLabel {
    Q_OBJECT
public:
    using TskCustomLabel::TskCustomLabel;
};
