#pragma once
// Modal dialogs block their caller in exec(): a test schedules what the user
// does in the dialog before opening it.
#include <functional>
#include <string>

class QImage;
class QWidget;

// Runs action on the next modal dialog that is not the one open now.
void WhenModal(std::function<void(QWidget* dialog)> action);
// Writes a picture of the widget to SCREENSHOT_DIR/name.png; returns the path.
std::string Screenshot(QWidget* widget, const std::string& name);
// Writes image to SCREENSHOT_DIR/name.png, the path going to path; whether it was written.
bool SaveScreenshot(const QImage& image, const std::string& name, std::string* path);
// The pixels dark enough to be text: a picture with none shows no text.
int DarkPixels(const QImage& image);
// Lets queued events run for about ms milliseconds.
void Pump(int ms);
// Lets queued events run until done() holds or about ms milliseconds passed; whether it holds.
bool WaitFor(const std::function<bool()>& done, int ms = 10000);
