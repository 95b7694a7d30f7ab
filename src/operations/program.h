#pragma once

class QApplication;

// The program's life: finds Archivio.xls beside the executable, takes the archive's locks,
// loads and shows the window, runs the event loop and releases the locks at the end.
// Returns the process exit code.
int runClivara(QApplication& app);
