#pragma once
// An edit with up to two buttons at its right end. EditButton2 wraps the
// rightmost button, EditButton1 the one left of it. Typed text never runs
// under a visible button, and a button may carry a shortcut key that acts as
// its click while the edit has the focus.
#include <QKeySequence>
#include <QLineEdit>
#include <QPixmap>
#include <functional>
#include <memory>
#include <string>

#include "rtl/Object.h"

class QToolButton;
class TLkCustomLookupEdit;

using TShortCut = QKeyCombination; // key with its modifiers; empty = none

// The settings of one embedded button, read from and written to the button.
class TLkButtonClass : public TObject {
public:
    TLkButtonClass(TLkCustomLookupEdit* owner, QToolButton* button);

    std::string Caption() const;
    void SetCaption(const std::string& value);
    bool Visible() const { return visible_; }
    void SetVisible(bool value);
    bool Enabled() const;
    void SetEnabled(bool value);
    std::string Hint() const;
    void SetHint(const std::string& value);
    bool ShowHint() const { return showHint_; }
    void SetShowHint(bool value);
    int NumGlyphs() const { return numGlyphs_; }
    void SetNumGlyphs(int value) { numGlyphs_ = value; }
    QPixmap Glyph() const { return glyph_; }
    void SetGlyph(const QPixmap& value);
    TShortCut ShortCutKey() const { return shortCut_; }
    void SetShortCutKey(TShortCut value) { shortCut_ = value; }
    bool HasShortCut() const { return shortCut_.toCombined() != 0; }

    QToolButton* Button() const { return button_; }

private:
    TLkCustomLookupEdit* owner_;
    QToolButton* button_;
    bool visible_ = true;
    bool showHint_ = false;
    int numGlyphs_ = 1;
    std::string hint_;
    QPixmap glyph_;
    TShortCut shortCut_{};
};

class TLkCustomLookupEdit : public QLineEdit, public TObject {
public:
    explicit TLkCustomLookupEdit(QWidget* parent = nullptr);
    ~TLkCustomLookupEdit() override;

    TLkButtonClass* EditButton1() const { return editButton1_.get(); }
    TLkButtonClass* EditButton2() const { return editButton2_.get(); }
    Qt::Alignment Alignment() const { return alignment_; }
    void SetAlignment(Qt::Alignment value);
    bool AutoSelect() const { return autoSelect_; }
    void SetAutoSelect(bool value) { autoSelect_ = value; }
    std::string Text() const { return text().toStdString(); }
    void SetText(const std::string& value) { setText(QString::fromStdString(value)); }

    std::function<void(TObject* Sender)> OnButton1Click;
    std::function<void(TObject* Sender)> OnButton2Click;

    // The smallest height that shows a line of the control's font.
    int MinimumHeight() const;
    // Places the buttons and the text margin for the current size.
    void LayoutButtons();
    // A click of the rightmost (2) or the other (1) button.
    void ButtonClick(int which);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QToolButton* button2_;
    QToolButton* button1_;
    std::unique_ptr<TLkButtonClass> editButton2_;
    std::unique_ptr<TLkButtonClass> editButton1_;
    Qt::Alignment alignment_ = Qt::AlignLeft;
    bool autoSelect_ = true;
};

// The published edit: both buttons, with their glyphs.
class TLkLookupEdit : public TLkCustomLookupEdit {
public:
    explicit TLkLookupEdit(QWidget* parent = nullptr);
};
