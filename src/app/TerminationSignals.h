// SIGTERM and SIGINT close the main window as the engineer's close does (the scheduler
// stops, the plant's session is closed at the server), not mid-way through a handler.
#pragma once

class QWidget;

// From now on a SIGTERM or SIGINT closes `window` on its own thread: the signal handler
// only writes a byte into a pipe that the window's event loop reads. A second signal, if
// the first has not ended the program, ends it at once.
void CloseOnTerminationSignals(QWidget& window);
