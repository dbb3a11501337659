#pragma once

#include <QList>

class QWidget;

namespace klar::ui {

/// The program's loaded windows in the order they were loaded, the main window first. The
/// exit rules unload them from the most recent back.
class Forms {
public:
    /// Records a window as loaded (once; loading it again keeps its place).
    static void Loaded(QWidget* form);
    /// Forgets a window that has been unloaded. A destroyed window is forgotten anyway.
    static void Unloaded(QWidget* form);
    /// The loaded windows, oldest first.
    [[nodiscard]] static QList<QWidget*> All();
    /// Closes every loaded window but keep, the most recently loaded first.
    static void CloseAllBut(const QWidget* keep);
};

} // namespace klar::ui
