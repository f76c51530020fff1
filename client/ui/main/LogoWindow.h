#pragma once
// The logo shown while the client starts: a 400 by 300 topmost window
// without a frame, centred on the screen, painted from "Logo.bmp" in the
// program folder. A missing or unreadable picture leaves it plain.
#include <QWidget>
#include <QPixmap>
#include <string>

class TLogoWindow : public QWidget {
public:
    explicit TLogoWindow(const std::string& programDir);
    bool HasPicture() const { return !FPicture.isNull(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap FPicture;
};
