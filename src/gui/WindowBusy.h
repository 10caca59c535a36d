#pragma once

namespace karv {

/// Whether the main window has a long operation going: a filter run or a batch on its list. While
/// one runs, drops, list batches and a new run are refused; asking it to stop frees the window at
/// once, as the running loop unwinds at its next check.
struct WindowBusy {
    bool idle = true;
};

} // namespace karv
