#pragma once

#include "engine/job_outcome.h"

#include <string>

namespace klar {

/// The method check boxes of the main window.
enum class MethodBox { DOD, NSA, Guttman, UK, Canada, Single };

/// The captions a job writes.
enum class Caption {
    Label2,  ///< "Pass [n]:"
    Label8,  ///< "Pass: n of m"
    Label9,  ///< "Remaining: n bytes"
    Label10, ///< "Drive Capacity: n bytes"
};

/// What a clearing job reads and writes of the main window. The window implements it with
/// widgets; tests implement it with a recorder that can act at a chosen yield.
class JobView {
public:
    virtual ~JobView() = default;

    /// The text of the drive list's edit field, untrimmed.
    [[nodiscard]] virtual std::string driveText() = 0;
    [[nodiscard]] virtual bool isChecked(MethodBox box) = 0;

    /// Sets a caption. Label8 is repainted at once; the others whenever the window paints.
    virtual void setCaption(Caption which, const std::string& text) = 0;
    /// The progress bar, 0 to 100.
    virtual void setProgress(float percent) = 0;
    /// The numbers behind the captions, each time the free space is shown; for views that
    /// compute with them (rates, time left) rather than read them back from the text.
    virtual void progressed(const JobProgress& /*progress*/) {}
    /// The read-back of a pass's fillers, where the job verifies: its start with the bytes
    /// to read, its progress, and its end with what it found.
    virtual void verifyStarted(int /*pass*/, std::uint64_t /*bytes*/) {}
    virtual void verifyProgressed(std::uint64_t /*bytesRead*/) {}
    virtual void verifyEnded(const VerifyReport& /*report*/) {}
    /// Shows (and repaints at once) or hides the Abort button.
    virtual void setAbortVisible(bool visible) = 0;
    virtual void focusDriveList() = 0;
    virtual void focusClearButton() = 0;

    /// A message box with the text and an OK button; returns when the user has closed it.
    virtual void showMessage(const std::string& text) = 0;

    /// Lets the window handle its pending events (clicks included) and returns.
    virtual void yield() = 0;

    /// How this front end's user runs a job with the administrator's rights ("run Klarvenor
    /// as administrator"), told when space kept for the administrator stayed out of reach;
    /// empty where the front end knows no such way.
    [[nodiscard]] virtual std::string administratorRoute() const { return {}; }
};

} // namespace klar
