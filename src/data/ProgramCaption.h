// The program's caption: its name and version, the main window's title and the report's
// title line.
#pragma once

inline constexpr const char* MainCaption = " Vor Tuner 1.0.7";
