// The main screen's scale (pixels per point), which image contexts "at the main screen's scale"
// use. Process-wide; 2.0 unless set. Thread-safe.
#pragma once

namespace dk::platform {

double mainScreenScale();
// Values <= 0 are ignored.
void setMainScreenScale(double scale);

}  // namespace dk::platform
