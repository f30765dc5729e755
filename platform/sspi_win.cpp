#include "platform/sspi_win.h"

#include <atomic>

#include "platform/system_library_win.h"

namespace zephora {
namespace {

std::atomic<const SecurityFunctionTableW*> gReplacement{nullptr};

}  // namespace

const SecurityFunctionTableW* SystemSspiFunctions(HRESULT& error) {
  // Loaded once and kept: the table points into the DLL for the life of
  // the process.
  static const SystemLibrary library(L"secur32.dll");
  static const SecurityFunctionTableW* const table = [] {
    const auto initialise =
        library.Find<decltype(&InitSecurityInterfaceW)>("InitSecurityInterfaceW");
    return initialise != nullptr ? initialise() : nullptr;
  }();
  error = table != nullptr  ? S_OK
          : library.Error() ? HRESULT_FROM_WIN32(library.Error())
                            : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
  return table;
}

const SecurityFunctionTableW* SspiFunctions(HRESULT& error) {
  if (const SecurityFunctionTableW* replacement = gReplacement.load()) {
    error = S_OK;
    return replacement;
  }
  return SystemSspiFunctions(error);
}

void UseSspiFunctions(const SecurityFunctionTableW* table) {
  gReplacement.store(table);
}

}  // namespace zephora
