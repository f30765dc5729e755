// The entry point of the executables a customer starts (SETUP.EXE and the
// support tools), ahead of the C runtime's own; cmake/ZephoraExecutable.cmake
// makes it the entry and names the runtime's in ZEPHORA_CRT_ENTRY.
//
// Windows looks for a DLL that is not on its KnownDLLs list in the program's
// own folder first, and SETUP.EXE runs from a Downloads folder in which
// anybody may have left such a DLL. Its imports are all KnownDLLs
// (scripts/check-imports); every DLL loaded later, by our code or by Windows
// on our behalf (theming, name resolution, SChannel), is taken from System32
// from here on. It sits here, before the runtime starts, because the runtime
// and the static objects it then sets up (the translation layer among them,
// at program load) may load DLLs themselves, and a DLL loaded before this
// line would come from the program's folder.
#include <windows.h>

extern "C" int ZEPHORA_CRT_ENTRY();

extern "C" int ZephoraEntry() {
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  return ZEPHORA_CRT_ENTRY();
}
