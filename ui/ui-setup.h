#pragma once

// Makes the compiled-in resources (stylesheets, pictures, help page)
// reachable and maps the stylesheets' font "Microsoft YaHei" to an installed
// CJK font, so Chinese texts never render as boxes. Call once after the
// QApplication exists, before the first window; later calls do nothing.
// QssManager calls it too, so a styled window always finds both.
void SetUpUiResources();
