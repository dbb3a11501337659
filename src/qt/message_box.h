#pragma once

#include "forms/app_version.h"

#include <QString>

class QWidget;

namespace klar::ui {

using klar::kAppTitle;

/// A message box with the text and an OK button only, no icon, modal to owner; returns when
/// the user has closed it.
void MsgBox(QWidget* owner, const QString& text);

} // namespace klar::ui
