// The SSPI functions, SChannel's among them, through the function table of
// secur32.dll, which is loaded from System32 at first use (system_library_win.h).
//
// The table is also a seam: Wine's SChannel never answers some of what
// Windows' does (SEC_I_INCOMPLETE_CREDENTIALS, SEC_I_RENEGOTIATE for the
// messages that TLS 1.3 sends after its handshake), so a test puts a table of
// its own here that delegates to the system's and answers as Windows would.
#pragma once

#include <windows.h>
#ifndef SECURITY_WIN32
#define SECURITY_WIN32
#endif
#include <security.h>

namespace zephora {

// The table in force, or null when secur32.dll cannot be loaded; `error` then
// says why, as an HRESULT.
const SecurityFunctionTableW* SspiFunctions(HRESULT& error);

// Puts `table` in place of the system's until it is called with null.
void UseSspiFunctions(const SecurityFunctionTableW* table);

// The system's own table, for a replacement to delegate to.
const SecurityFunctionTableW* SystemSspiFunctions(HRESULT& error);

}  // namespace zephora
