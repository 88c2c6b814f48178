#pragma once
// Window placement is stored in twips (1440 per inch); the screen works in pixels.
class QWidget;

namespace plat::twips {
double perPixelX();
double perPixelY();
double fromPixelsX(int px);
double fromPixelsY(int px);
int toPixelsX(double twips);
int toPixelsY(double twips);
// The primary screen's size in twips.
double screenWidth();
double screenHeight();
} // namespace plat::twips

// Puts a form in the middle of the primary screen.
void CentreForm(QWidget* form);
