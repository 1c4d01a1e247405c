#pragma once

// The windows' fixed geometry was laid out for the group boxes of Windows' styles, whose titles
// sit on the frame; under Fusion, Qt's default on Linux, the titles stand above the frame and
// run into what the boxes hold. So the station takes Qt's own "Windows" style there, unless the
// operator chose a style.

// Whether the arguments name a style (-style NAME, -style=NAME, also with two dashes) or
// QT_STYLE_OVERRIDE does. Ask before the QApplication takes -style out of the arguments.
bool styleChosenByOperator(int argc, char *argv[]);

// Qt's "Windows" style, except on Windows, whose native style the windows were laid out for.
void applyStationStyle();
