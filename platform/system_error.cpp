#include "platform/system_error.h"

namespace zephora {
namespace {

MessageLanguageSource gMessageLanguageSource = nullptr;

}  // namespace

void SetMessageLanguageSource(MessageLanguageSource source) {
  gMessageLanguageSource = source;
}

MessageLanguageSource GetMessageLanguageSource() {
  return gMessageLanguageSource;
}

Text TrimErrorText(TextView text) {
  size_t end = text.size();
  while (end > 0 && (text[end - 1] <= u' ' || text[end - 1] == u'.'))
    --end;
  return Text(text.substr(0, end));
}

}  // namespace zephora
