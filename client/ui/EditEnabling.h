#pragma once
// Edits with no row to edit are disabled and silver (colour 12632256), as the
// forms show them; enabled they are white again.
#include <QLineEdit>
#include <initializer_list>

inline void EnableEdits(std::initializer_list<QLineEdit*> edits, bool on)
{
    for (QLineEdit* e : edits) {
        e->setEnabled(on);
        e->setStyleSheet(on ? "" : "background: #c0c0c0;");
    }
}
