#pragma once

// Whether two names refer to one existing file (same device and inode, so
// links and different spellings of a path count). Used to refuse a result
// name that would overwrite an input.
bool sameExistingFile(const char* a, const char* b);
