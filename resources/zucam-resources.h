#pragma once

// Registers every compiled-in resource collection of the window (the
// stylesheets and pictures, the help page). The collections live in a static
// library, so nothing would pull them into a program without this call.
// Safe to call more than once.
void InitZuCamResources();
