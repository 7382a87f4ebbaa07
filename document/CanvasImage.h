#pragma once
#include <QImage>

#include <string>

#include "document/FileReplacement.h"
#include "document/PngExtras.h"

class CCanvas;

// The canvas's bottom-up pixel buffer as an image the right way up.
QImage CanvasImage(const CCanvas& canvas);

// Writes the image as ".png" when the name ends so (in any case), otherwise
// as a ".bmp" file, through a FileReplacement: a failed save keeps the old
// file. False with a sentence naming the file on failure.
bool SaveImageFile(const std::string& path, const CCanvas& canvas, std::string& error, const ReplaceGate& gate = {},
                   const PngExtras& extras = {});

// The ".frc" text a PNG holds under kPngDocumentKey. False with a sentence
// naming the file when it is not a readable image or holds no document.
bool ReadPngDocument(const std::string& path, std::string& text, std::string& error);
