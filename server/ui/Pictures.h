#pragma once
// The server's small pictures, drawn in code so no binary resource is needed.
#include <QIcon>
#include <QPixmap>

QPixmap LampPixmap(bool running); // 9 by 15: green running, red stopped
QIcon PortlornIcon();             // window and tray icon
QPixmap UserPicture();            // the account dialogs' picture
QPixmap GlyphPixmap(int kind);    // lookup-edit buttons: 0 ellipsis, 1 arrow, 2 folder
