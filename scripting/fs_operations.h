// Deleting, copying, moving and creating files and folders for the
// FileSystemObject. The last element of a source may hold the wildcards
// "*" and "?"; a destination that ends with a separator, or any destination
// of a wildcard source, is the folder the items go into.
#pragma once

#include "runtime/dispatch.h"

#include <string>
#include <string_view>

namespace scripting {

HRESULT deleteItems(std::u16string_view pathText, bool force, bool folders);
HRESULT copyItems(std::u16string_view source, std::u16string_view destination, bool overwrite, bool folders);
// *movedTo receives the new path when a single item moved.
HRESULT moveItems(std::u16string_view source, std::u16string_view destination, bool folders,
                  std::string* movedTo = nullptr);
HRESULT createFolder(std::u16string_view path, IDispatch** folder);

}  // namespace scripting
