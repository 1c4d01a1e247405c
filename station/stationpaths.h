#pragma once

#include <QString>

// The station started life on Windows with its files on drive C. Elsewhere there is no
// "C:\", so the user's home directory stands in for it.
QString defaultLogDirectory();     // initial text of the working-directory label
QString defaultWorkingDirectory(); // initial start directory of the sound file dialog
