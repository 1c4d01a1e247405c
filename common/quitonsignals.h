#pragma once

// SIGTERM (system shutdown, logout), SIGINT and SIGHUP end the event loop like closing the
// main window does, so the configuration is still saved. A no-op where there are no signals.
void quitOnTerminationSignals();
