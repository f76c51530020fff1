#include "server/ui/LkTLookupEdit.h"

#include <QApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QToolButton>

#include "platform/dialogs/EventHandler.h"
#include "server/ui/Pictures.h"

TLkButtonClass::TLkButtonClass(TLkCustomLookupEdit* owner, QToolButton* button)
    : owner_(owner), button_(button)
{
}

std::string TLkButtonClass::Caption() const
{
    return button_->text().toStdString();
}

void TLkButtonClass::SetCaption(const std::string& value)
{
    button_->setText(QString::fromStdString(value));
}

void TLkButtonClass::SetVisible(bool value)
{
    visible_ = value;
    owner_->LayoutButtons();
}

bool TLkButtonClass::Enabled() const
{
    return button_->isEnabled();
}

void TLkButtonClass::SetEnabled(bool value)
{
    button_->setEnabled(value);
}

std::string TLkButtonClass::Hint() const
{
    return hint_;
}

void TLkButtonClass::SetHint(const std::string& value)
{
    hint_ = value;
    button_->setToolTip(showHint_ ? QString::fromStdString(hint_) : QString());
}

void TLkButtonClass::SetShowHint(bool value)
{
    showHint_ = value;
    SetHint(hint_);
}

void TLkButtonClass::SetGlyph(const QPixmap& value)
{
    glyph_ = value;
    button_->setIcon(QIcon(value));
}

TLkCustomLookupEdit::TLkCustomLookupEdit(QWidget* parent)
    : QLineEdit(parent), button2_(new QToolButton(this)), button1_(new QToolButton(this))
{
    for (QToolButton* b : {button2_, button1_}) {
        b->setCursor(Qt::ArrowCursor);
        b->setFocusPolicy(Qt::NoFocus);
        b->setAutoRaise(false);
    }
    button2_->setObjectName("Button2");
    button1_->setObjectName("Button1");
    ConnectHandler(button2_, &QToolButton::clicked, this, [this] { ButtonClick(2); });
    ConnectHandler(button1_, &QToolButton::clicked, this, [this] { ButtonClick(1); });
    editButton2_ = std::make_unique<TLkButtonClass>(this, button2_);
    editButton1_ = std::make_unique<TLkButtonClass>(this, button1_);
    setMinimumHeight(MinimumHeight());
    LayoutButtons();
}

TLkCustomLookupEdit::~TLkCustomLookupEdit() = default;

void TLkCustomLookupEdit::SetAlignment(Qt::Alignment value)
{
    if (value == alignment_)
        return;
    alignment_ = value;
    setAlignment(value | Qt::AlignVCenter);
}

int TLkCustomLookupEdit::MinimumHeight() const
{
    int systemHeight = QFontMetrics(QApplication::font()).height();
    int fontHeight = fontMetrics().height();
    int smaller = std::min(systemHeight, fontHeight);
    const int border = 1;
    return 4 * border + smaller / 4 + fontHeight + 1;
}

void TLkCustomLookupEdit::LayoutButtons()
{
    // Buttons are squares of (height - 4) inside the 2-pixel frame; a hidden
    // one is parked just past the right edge with no size.
    const int side = std::max(0, height() - 4);
    int right = width() - 2;
    int margin = 0;
    struct Slot { QToolButton* button; TLkButtonClass* settings; };
    for (Slot s : {Slot{button2_, editButton2_.get()}, Slot{button1_, editButton1_.get()}}) {
        if (s.settings && s.settings->Visible()) {
            s.button->setGeometry(right - side, 2, side, side);
            s.button->show();
            right -= side;
            margin += side;
        } else {
            s.button->setGeometry(width() + 1, 0, 0, 0);
            s.button->hide();
        }
    }
    setTextMargins(0, 0, margin, 0);
}

void TLkCustomLookupEdit::ButtonClick(int which)
{
    const auto& handler = which == 2 ? OnButton2Click : OnButton1Click;
    if (handler)
        handler(this);
    setFocus(Qt::OtherFocusReason);
}

void TLkCustomLookupEdit::resizeEvent(QResizeEvent* event)
{
    QLineEdit::resizeEvent(event);
    int minimum = MinimumHeight();
    if (height() < minimum) {
        resize(width(), minimum); // the resize that follows lays out
        return;
    }
    LayoutButtons();
}

void TLkCustomLookupEdit::keyPressEvent(QKeyEvent* event)
{
    // A button's shortcut acts as its click and is not typed; rightmost first.
    QKeyCombination pressed = event->keyCombination();
    struct Slot { TLkButtonClass* settings; int which; };
    for (Slot s : {Slot{editButton2_.get(), 2}, Slot{editButton1_.get(), 1}}) {
        if (s.settings->HasShortCut() && s.settings->ShortCutKey() == pressed) {
            event->accept();
            Guarded([&] { ButtonClick(s.which); });
            return;
        }
    }
    // Enter and Escape are left to the dialog, for its default and cancel buttons.
    QLineEdit::keyPressEvent(event);
}

void TLkCustomLookupEdit::focusInEvent(QFocusEvent* event)
{
    QLineEdit::focusInEvent(event);
    if (autoSelect_ && !(QApplication::mouseButtons() & Qt::LeftButton))
        selectAll();
}

void TLkCustomLookupEdit::changeEvent(QEvent* event)
{
    QLineEdit::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        setMinimumHeight(MinimumHeight());
}

TLkLookupEdit::TLkLookupEdit(QWidget* parent) : TLkCustomLookupEdit(parent)
{
    EditButton1()->SetGlyph(GlyphPixmap(0));
    EditButton1()->SetNumGlyphs(2);
    EditButton2()->SetGlyph(GlyphPixmap(1));
    EditButton2()->SetNumGlyphs(2);
}
