#pragma once
// The update dialog's and the About box's resources: the program's icon, the dialog's picture
// and their fonts.

#include <wx/bitmap.h>
#include <wx/font.h>
#include <wx/icon.h>
#include <wx/string.h>

// The program's icon, 48 x 48.
wxIcon ProgramIcon();
// The update dialog's picture, 40 x 40.
wxBitmap PictureBitmap();

// The dialogs' text font: 9 points of a face that has the Chinese characters.
wxFont DialogFont();
// The headline's font: 18 points of "新宋体", or of another face with the Chinese characters
// where that one is not installed.
wxFont HeadlineFont();

// The first of the faces that is installed; empty when none is.
wxString FirstInstalledFace(std::initializer_list<const char16_t*> faces);
