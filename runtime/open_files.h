// The caller's registry of declared files that have an engine state. At
// program end every file still open is closed with CLOSE, the most recently
// opened first.
#pragma once

#include <cstdint>

namespace vantrose {

struct DeclaredFile;

// Adds the file with mode 0 (the engine calls this when it creates a state).
void RegisterDeclaredFile(DeclaredFile* file);
// Records the access mode of a successful OPEN or SHARE and makes the file
// the most recently opened one.
void UpdateDeclaredFileMode(DeclaredFile* file, uint32_t mode);
// Removes the file (the engine calls this when it discards a state).
void ForgetDeclaredFile(DeclaredFile* file);
// True when the file is in the registry.
bool IsDeclaredFileRegistered(const DeclaredFile* file);
// CLOSE (operation 7) through each file's entry for every file still open
// (its mode recorded by UpdateDeclaredFileMode and not forgotten since), the
// most recently opened first. A file whose CLOSE fails is not tried again.
void CloseAllDeclaredFiles();

}  // namespace vantrose
