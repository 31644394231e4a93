/* The failure hook of delay-loaded DLLs (see delay_load.cmake): a DLL that
   cannot be loaded, or lacks a function, on the first call into it ends the
   program with a message on standard error and exit code 1. Without it,
   mingw-w64's __delayLoadHelper2 raises an exception that nothing catches. */
#include <windows.h>

#include <delayimp.h>
#include <stdio.h>
#include <string.h>

static FARPROC WINAPI delay_load_failed(unsigned notification, PDelayLoadInfo info) {
  if (notification != dliFailLoadLib && notification != dliFailGetProc) return NULL;
  char text[512];
  if (notification == dliFailLoadLib) {
    snprintf(text, sizeof text, "cannot load %s (error %lu)\n", info->szDll, info->dwLastError);
  } else if (info->dlp.fImportByName) {
    snprintf(text, sizeof text, "%s has no function %s (error %lu)\n", info->szDll, info->dlp.szProcName,
             info->dwLastError);
  } else {
    snprintf(text, sizeof text, "%s has no function #%lu (error %lu)\n", info->szDll, info->dlp.dwOrdinal,
             info->dwLastError);
  }
  fflush(NULL);
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), text, (DWORD)strlen(text), &written, NULL);
  TerminateProcess(GetCurrentProcess(), 1);
  return NULL;
}

/* Defined here, statically, so it is set before any static initialiser
   runs; this definition takes the place of libmingwex's null one. */
PfnDliHook __pfnDliFailureHook2 = delay_load_failed;
