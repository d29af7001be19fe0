#pragma once
// CIE L*a*b* and L*u*v* conversions of red, green and blue on a 0..255 scale.
//
// Colour modes 1 and 2 of the working space use the forward conversions; the palette
// conversion back to bytes uses the inverses. Each inverse takes its three values in the
// order in which the forward conversion writes them.

namespace genshoku::reference {

// (red, green, blue) on 0..255 -> (L*, a*, b*).
void RgbToLab(double red, double green, double blue, double& lightness, double& a, double& b);

// (L*, a*, b*) -> (red, green, blue) on 0..255 (not clamped).
void LabToRgb(double lightness, double a, double b, double& red, double& green, double& blue);

// (red, green, blue) on 0..255 -> (L*, u*, v*). Black gives (0, 0, 0).
void RgbToLuv(double red, double green, double blue, double& lightness, double& u, double& v);

// (L*, u*, v*) -> (red, green, blue) on 0..255 (not clamped). (0, 0, 0) gives black.
void LuvToRgb(double lightness, double u, double v, double& red, double& green, double& blue);

}  // namespace genshoku::reference
