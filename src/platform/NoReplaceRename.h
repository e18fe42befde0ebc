#pragma once
// Renaming that never replaces an existing object. The navigator's rename and the file
// operations both place things with it; a file system without the kernel's no-replace
// flag gets a hard link and an unlink instead, which cannot replace anything either.

namespace platform {

// Renames `from` (relative to the folder `fromDir`, or AT_FDCWD) to `to` (relative to
// `toDir`). Returns 0 or an errno value; EEXIST when `to` exists.
int renameNoReplace(int fromDir, const char* from, int toDir, const char* to);

} // namespace platform
