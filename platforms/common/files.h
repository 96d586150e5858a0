// The file system as the Linux hosts see it.
#pragma once

// True when a directory entry of that name exists, a dangling symbolic link
// included: the PNG writer would not create a file through it either.
bool pathExists(const char* path);
