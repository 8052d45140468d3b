// The DLL entry point: process attach creates the library state, process detach flushes
// and closes open files and destroys it; thread notifications do nothing.
#include <windows.h>

#include "archive/library.hpp"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  switch (reason) {
    case DLL_PROCESS_ATTACH: mytarvo::library_attach(); break;
    case DLL_PROCESS_DETACH: mytarvo::library_detach(); break;
    default: break;
  }
  return TRUE;
}
