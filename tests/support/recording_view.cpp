#include "recording_view.h"

#include <algorithm>

namespace klar::test {

bool RecordingView::logged(const std::string& text) const {
    return std::find(captionLog.begin(), captionLog.end(), text) != captionLog.end();
}

bool RecordingView::loggedPrefix(const std::string& prefix) const {
    return std::any_of(captionLog.begin(), captionLog.end(),
                       [&](const std::string& t) { return t.rfind(prefix, 0) == 0; });
}

} // namespace klar::test
