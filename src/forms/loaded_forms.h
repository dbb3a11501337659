#pragma once

#include <algorithm>
#include <vector>

namespace klar::forms {

/// The program's loaded windows in the order they were loaded, the main window first. Form is
/// whatever a toolkit calls a window; the exit rules unload them from the most recent back.
template <typename Form> class LoadedForms {
public:
    /// Records a window as loaded (once; loading it again keeps its place). True if it is new.
    bool Loaded(Form* form) {
        if (std::find(forms_.begin(), forms_.end(), form) != forms_.end()) {
            return false;
        }
        forms_.push_back(form);
        return true;
    }
    /// Forgets a window that has been unloaded.
    void Unloaded(Form* form) { std::erase(forms_, form); }
    /// The loaded windows, oldest first.
    [[nodiscard]] const std::vector<Form*>& All() const { return forms_; }

    /// Unloads every window but keep, the most recently loaded first. unload(form) closes one;
    /// a window that refuses stays loaded.
    template <typename Unload> void UnloadAllBut(const Form* keep, Unload unload) {
        const std::vector<Form*> snapshot = forms_;
        for (auto it = snapshot.rbegin(); it != snapshot.rend(); ++it) {
            if (*it != keep) {
                unload(*it);
            }
        }
    }

private:
    std::vector<Form*> forms_;
};

} // namespace klar::forms
