#pragma once

// The windows have fixed layouts drawn for Windows' interface fonts. Elsewhere the default
// sans-serif is often wider and clips captions such as "Найдено", so a font with Arial's
// metrics is used where one is installed.
void applyStationFont();
