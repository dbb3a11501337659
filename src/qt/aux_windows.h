#pragma once

class QWidget;

namespace klar::ui {

/// The windows that the main window opens but that belong to the start-up layer: the
/// donation request and the About window. Abstract so that the main window builds and is
/// tested without them.
class AuxWindows {
public:
    virtual ~AuxWindows() = default;
    /// Shows the donation window modeless and without an owner; loads it first when it is not
    /// open, brings it forward when it is.
    virtual void ShowDonate() = 0;
    /// Shows the About window modal to owner; returns when the user has closed it.
    virtual void ShowAbout(QWidget* owner) = 0;
};

} // namespace klar::ui
