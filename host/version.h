// The program's version, as the start-up banner and the window title show it.
#pragma once

inline constexpr char programVersion[] = "0.15f";
inline constexpr char windowTitleText[] = "Korvalo v0.15f";
