// Creating a COM object and asking it for an interface, with the messages
// the shell link component raises when either fails.
#pragma once

#include <windows.h>

#include "platform/win_handles.h"

namespace zephora {

// CoCreateInstance in-process or local server; raises EOleSysError.
com_ptr<IUnknown> CreateComObject(REFCLSID classId);

// QueryInterface; raises EIntfCastError when the object lacks it.
template <typename I>
com_ptr<I> RequireInterface(const com_ptr<IUnknown>& object, REFIID iid);

void ThrowInterfaceNotSupported();

template <typename I>
com_ptr<I> RequireInterface(const com_ptr<IUnknown>& object, REFIID iid) {
  com_ptr<I> result = object.query<I>(iid);
  if (!result)
    ThrowInterfaceNotSupported();
  return result;
}

}  // namespace zephora
