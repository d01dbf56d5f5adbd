// The DLL search of an elevated process that runs from a folder someone copied.
#pragma once

// Limits the DLL search of the whole process to the system folder: the program's own
// folder (where a planted DLL may sit beside quillfix.exe) and the current folder no
// longer supply DLLs to any later load, the system's own loads included. Call it
// first, before anything that may load a DLL.
void restrictDllSearch();
