// The data of a regular file, copied from one open descriptor to another: the
// kernel's range copy where the file system offers it, the holes of a sparse
// file kept as holes, plain reads and writes where nothing better works.
#pragma once

#include <sys/stat.h>

namespace kovrel::platform {

// Copies the whole data of fdIn (whose fstat is st) into fdOut, both standing
// at offset 0. 0 or errno.
int CopyData(int fdIn, int fdOut, const struct stat& st);

} // namespace kovrel::platform
