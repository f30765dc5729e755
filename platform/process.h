// Facts about the running process.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/text.h"

namespace zephora {

// Full path of the running executable.
Text ExecutablePath();

// An environment variable, or nothing when it is not set.
std::optional<Text> EnvironmentVariable(const Text& name);

std::uint64_t CurrentThreadId();

// A message box with no owner window and an OK button; on systems without
// one, the text goes to standard error.
void ShowPlainMessageBox(const Text& caption, const Text& text);

}  // namespace zephora
