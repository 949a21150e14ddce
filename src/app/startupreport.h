#pragma once

class QWidget;
class vCardSharingController;

// For the start-up bench: with ZORBIX_STARTUP_REPORT set (to the time of the exec in nanoseconds
// since the epoch, or to anything else to take the process's start time), prints to stderr when
// the main window first painted and when the address book was ready, measured from the start,
// and the worst stall of the event loop meanwhile; then ends the program.
class StartupReport
{
public:
    static void installIfAsked(vCardSharingController &controller);
};
