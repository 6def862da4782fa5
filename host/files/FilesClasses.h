#pragma once
// Registration of the file-system classes: Folder/File, Drive (Windows
// only) and FileStream/Stream.

#include "script/Quill.h"

namespace paloma::host {

void registerFolderClass(quill::Engine& engine);
void registerFileStreamClass(quill::Engine& engine);
#ifdef _WIN32
void registerDriveClass(quill::Engine& engine);
#endif

} // namespace paloma::host
