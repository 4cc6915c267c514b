// Built only when the dialogs library is not part of the build: the view's
// dialog commands then end as if each dialog had been cancelled.
#include "grid/KovrelView.h"

namespace kovrel {

namespace {

class CNoViewDialogs final : public IViewDialogs {
public:
    bool RunDetail(QWidget*, std::uint32_t&, std::string&) override { return false; }
    bool BrowseDir(QWidget*, std::string&) override { return false; }
    bool BrowseFile(QWidget*, std::string&, const std::string&) override { return false; }
};

} // namespace

std::unique_ptr<IViewDialogs> CreateStandardViewDialogs() {
    return std::make_unique<CNoViewDialogs>();
}

} // namespace kovrel
