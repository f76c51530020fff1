#pragma once
// The window of the gallery that shows every button kind, shape and state,
// the imager, the transparent panel, a button group and an outlook bar.
class QWidget;
QWidget* ButtonsGallery();
