#pragma once
// TDropTarget lets one widget accept drag and drop: it watches the widget's
// drag events, works out the drop effect from the drag types it takes and
// the keys held, scrolls a scrollable target while the pointer rests near an
// edge, and leaves reading the data to a derived class.
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <utility>
#include <vector>

#include "rtl/Object.h"

class QDropEvent;
class QMimeData;
class QTimer;

enum TDragType { dtCopy, dtMove, dtLink };
using TDragTypes = unsigned; // bit (1 << TDragType) per type

constexpr int DROPEFFECT_NONE = 0;
constexpr int DROPEFFECT_COPY = 1;
constexpr int DROPEFFECT_MOVE = 2;
constexpr int DROPEFFECT_LINK = 4;
constexpr int DROPEFFECT_SCROLL = static_cast<int>(0x80000000u);

using TShiftState = unsigned; // no keys or buttons = 0
constexpr TShiftState ssShift = 0x01, ssAlt = 0x02, ssCtrl = 0x04, ssLeft = 0x08, ssRight = 0x10, ssMiddle = 0x20;

using TDropTargetEvent = std::function<void(TObject* Sender, TShiftState ShiftState, QPoint Point, int& Effect)>;

class TDropTarget : public QObject, public TObject {
public:
    TDropTarget();
    ~TDropTarget() override;

    // Starts watching a widget (and stops watching the previous one).
    void SetTarget(QWidget* target);
    void RevokeTarget();
    QWidget* Target() const { return target_; }

    TDragTypes Dragtypes = (1u << dtCopy) | (1u << dtMove) | (1u << dtLink);
    bool GetDataOnEnter = false; // read the data when the drag enters, not at the drop
    // Kept for the owner's settings: the picture under the pointer is the
    // drag source's own here, so a target has none to show.
    bool ShowImage = true;

    TDropTargetEvent OnEnter, OnDragOver, OnDrop, OnGetDropEffect;
    std::function<void(TObject* Sender)> OnLeave;

    static constexpr int ScrollInterval = 100;

    virtual int GetDropEffect(TShiftState shift, QPoint point, int allowed);
    // The effect the drag's source prefers ("Preferred DropEffect"), 0 when none.
    virtual int GetPreferredEffect(const QMimeData* data);

protected:
    virtual void FireEnter(TShiftState shift, QPoint point, int& effect);
    virtual void FireDragOver(TShiftState shift, QPoint point, int& effect);
    virtual void FireDrop(TShiftState shift, QPoint point, int& effect);
    virtual void FireLeave();
    // Whether a URL (or whatever the target wants) was found in the data.
    virtual bool ReadData(const QMimeData* data) = 0;
    virtual void ReleaseData() = 0;
    virtual bool AcceptsData(const QMimeData* data) = 0;

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPoint TargetPoint(QObject* watched, const QDropEvent* event) const;
    void DragEnter(QDropEvent* event, QPoint point);
    void DragOver(QDropEvent* event, QPoint point);
    void DragLeave();
    void Drop(QDropEvent* event, QPoint point);
    void ScrollTimer();
    void Watch(bool on);

    QPointer<QWidget> target_;
    // The widgets drags arrive at (the target and its editor or viewport),
    // with whether each took drops before.
    std::vector<std::pair<QPointer<QWidget>, bool>> watched_;
    bool dragging_ = false; // a drag with acceptable data is over the target
    bool found_ = false;    // ReadData at entry found something
    QPoint lastPoint_;
    bool scrollH_ = false, scrollV_ = false;
    int scrollMargin_ = 0;
    QTimer* scrollTimer_ = nullptr;
};

// The Windows-style shift state of a drag event's keys and buttons.
TShiftState DragShiftState(const QDropEvent* event);
