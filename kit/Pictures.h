// The built-in help picture (wiring diagram) and the conversion of a decoded
// JPEG to a Qt image.
#pragma once

#include <string>

#include <QImage>
#include <QSize>

#include "core/JpegDecode.h"

// Takes over the pixels without copying them.
QImage ToQImage(sJpegImage&& image);

// Size of the built-in help picture (read from its header; cheap).
QSize HelpPictureSize();
// The built-in help picture, decoded, with its labels in a language ("de",
// "pl", "ru"; English for "en" and any language without a picture of its
// own); a drawn stand-in when the program was built without one.
QImage HelpPicture(const std::string& language = "en");
