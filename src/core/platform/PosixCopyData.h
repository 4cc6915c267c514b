// The data of a regular file, copied from one open descriptor to another: the
// kernel's range copy where the file system offers it, the holes of a sparse
// file kept as holes, plain reads and writes where nothing better works.
#pragma once

#include <sys/stat.h>

namespace kovrel::platform {

class ICopyObserver;

// Copies the whole data of fdIn (whose fstat is st) into fdOut, both standing
// at offset 0. The data moves in chunks sized to take a few tens of
// milliseconds each; after each one pObserver (when given) hears how far the
// copy is and may stop it: ECANCELED, with whatever was written left in fdOut
// for the caller to discard. 0 or errno.
int CopyData(int fdIn, int fdOut, const struct stat& st, ICopyObserver* pObserver = nullptr);

} // namespace kovrel::platform
