// Quillomatics on a Mac without its status item: --snapshot and --textfile run the portable
// headless runs on the Mac's own services, with no AppKit event loop.
#pragma once

// Whether the command line asks for a headless run (--snapshot or --textfile). The entry file
// calls this rather than the core's own, so that it sees nothing of namespace app: its one global
// `app`, the shared application, would clash with that name.
bool headlessRunAsked(int argc, char** argv);
// The run the command line asks for; its exit status (2 for a command line it cannot use).
int runHeadless(int argc, char** argv);
