#pragma once

// SIGTERM (system shutdown, logout), SIGINT and SIGHUP end the event loop like closing the
// main window does, so the configuration is still saved. Needs the application object; false
// when the signals could not be caught. A no-op where there are no signals.
bool quitOnTerminationSignals();
