// Plant I/O the window must not wait on (a connect, a controller load): the work runs on
// a thread of its own while the window keeps repainting and answering clicks; a cancel
// button gives up waiting.
#pragma once

#include <functional>

class QAbstractButton;

// Runs work on a new thread and processes the window's events until it ends or cancel is
// clicked. Returns true when the work ended (an exception it threw is thrown here, on the
// window's thread); false when the engineer cancelled: the work then runs to its end on
// its thread (bounded by the link's time-out) and afterwards abandoned runs on the
// window's thread, to undo what it did.
bool RunOffWindowThread(QAbstractButton* cancel, const std::function<void()>& work,
                        std::function<void()> abandoned);
