#pragma once
#include <QImage>

class CCanvas;

// The canvas's bottom-up pixel buffer as an image the right way up.
QImage CanvasImage(const CCanvas& canvas);
