// Quillomatics on a Mac without its status item: --snapshot and --textfile run the portable
// headless runs on the Mac's own services, with no AppKit event loop.
#pragma once

// The run the command line asks for; its exit status (2 for a command line it cannot use).
int runHeadless(int argc, char** argv);
