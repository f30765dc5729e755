#include "app/failure_report.h"

#include <windows.h>

#include "app/application.h"
#include "controls/message_box.h"
#include "platform/exception.h"

namespace zephora {

Text FailureReportText(std::exception_ptr failure) {
  Text message;
  while (failure) {
    std::exception_ptr inner;
    try {
      std::rethrow_exception(failure);
    } catch (const std::exception& caught) {
      Text own = MessageOf(caught);
      if (!own.empty())
        message = std::move(own);
      if (const auto* nested = dynamic_cast<const std::nested_exception*>(&caught)) {
        inner = nested->nested_ptr();
      }
    } catch (...) {
    }
    failure = inner;
  }
  if (!message.empty() && message.back() > u'.')
    message += u'.';
  return message;
}

void ShowFailureReport(HWND window, std::exception_ptr failure) noexcept {
  try {
    const HWND owner = window != nullptr ? GetAncestor(window, GA_ROOT) : nullptr;
    ShowMessageBox(owner, FailureReportText(failure), ApplicationTitle(), MB_OK | MB_ICONERROR);
  } catch (...) {
    MessageBeep(MB_ICONERROR);
  }
}

}  // namespace zephora
