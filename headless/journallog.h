#pragma once

// Sends every message of the station to standard error as one line. When standard error is the
// journal (systemd names its stream in JOURNAL_STREAM), each line starts with its sd-daemon
// priority, <3> for errors, <4> for warnings, <6> for the rest that is shown, so that
// `journalctl -p warning` picks them out.
void logToStandardError();
