#pragma once

#include <QString>

class QWidget;

namespace klar::ui {

/// The program's title: caption of its message boxes and name of its settings.
inline constexpr const char* kAppTitle = "Klarvenor";

/// A message box with the text and an OK button only, no icon, modal to owner; returns when
/// the user has closed it.
void MsgBox(QWidget* owner, const QString& text);

} // namespace klar::ui
