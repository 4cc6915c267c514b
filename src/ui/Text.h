// The program's texts are UTF-8 in the source files; U() makes a QString of one.
#pragma once

#include <QString>

namespace kovrel::ui {

inline QString U(const char* psz) {
    return QString::fromUtf8(psz);
}

} // namespace kovrel::ui
